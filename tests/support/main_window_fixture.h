// A main window wired to virtual-time ports in a fresh program folder, loaded and ready for a test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/globals.h"
#include "app/main_window.h"
#include "settings/ini.h"
#include "support/fixed_clock.h"
#include "support/journal.h"
#include "support/scripted_memory_control.h"
#include "support/temp_folder.h"
#include "support/virtual_host.h"

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() { window.Form_Load(); }

  // Writes settings.ini in the program folder.
  void writeSettings(const std::string& content) { folder.write("settings.ini", content); }
  // A settings file that makes the activation attach instead of opening the chooser.
  void writeAttachingSettings(const std::string& content = "") {
    writeSettings(content);
    INI::WriteIniValue(window.settingsPath(), "General", "First Run", "False");
  }
  // Entries of the error log without their date, time and CR LF; an entry that lacks any of these is
  // marked so that the comparison fails.
  std::vector<std::string> errorLogEntries() const;
  // Drops what the journal holds so far.
  void forget() { journal.clear(); }

  TempFolder folder;
  Journal journal;
  ScriptedMemoryControl memory{journal};
  VirtualHost host{journal};
  VirtualTimer timer1;
  VirtualTimer timer2;
  Globals globals;
  FixedClock clock;
  frmmain window{MainWindowPorts{host, timer1, timer2, memory, globals, folder.path(), clock}};
};
