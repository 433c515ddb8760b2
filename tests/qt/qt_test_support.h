// Stand-ins for the Qt tests: notices answered and recorded, an end that throws instead of ending the test
// program, a game link that counts attaches, a watchdog for forgotten modal boxes, and a program with its
// window in a fresh folder.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <memory>
#include <string>

#include "app/error_log.h"
#include "app/qt/gui_program.h"
#include "app/program_end.h"
#include "app/qt/qt_utils.h"
#include "dialogs/qt/linux_system.h"
#include "memlink/memory_control.h"

// Records every notice and returns at once, as an operator who presses OK straight away.
class RecordingNotices final : public qtutils::NoticePort {
 public:
  void notify(QWidget*, const QString& text) override { texts.append(text); }
  QStringList texts;
};

struct ProgramEnded {
  int status;
};

class ThrowingEnd final : public ProgramEnd {
 public:
  [[noreturn]] void end(int status) override { throw ProgramEnded{status}; }
};

// A game that is always there and never says anything in the chat.
class CountingLink final : public MemoryControl {
 public:
  bool OpenGame(std::string&) override {
    ++opens;
    return true;
  }
  std::string ReadString(const std::string&, const ReadLength&) override { return {}; }
  void WriteString(const std::string&, const std::string&, bool) override {}
  void SendKey(std::int16_t) override {}
  void Wait(const PauseSeconds&) override {}
  int opens = 0;
};

// Closes a modal box that stays open longer than `grace`, so that a test whose answer never came fails
// instead of hanging. The titles of the boxes it closed are kept for the test to check.
class ModalGuard {
 public:
  explicit ModalGuard(int graceMs = 3000) : graceMs_(graceMs) {
    poll_.setInterval(50);
    QObject::connect(&poll_, &QTimer::timeout, [this] { check(); });
    poll_.start();
  }
  QStringList closed;

 private:
  void check() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != seen_) {
      seen_ = modal;
      since_.start();
      return;
    }
    if (modal != nullptr && since_.elapsed() > graceMs_) {
      closed.append(modal->windowTitle());
      if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->done(QDialog::Rejected);
      else
        modal->close();
    }
  }
  int graceMs_;
  QTimer poll_;
  QPointer<QWidget> seen_;
  QElapsedTimer since_;
};

inline void writeFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  file.open(QIODevice::WriteOnly | QIODevice::Truncate);
  file.write(content);
}

// The window program in a fresh folder whose settings.ini is `settings`; nothing on the PATH for the About
// box's System Info unless the test puts a program into `binFolder`.
struct Harness {
  explicit Harness(const QByteArray& settings, qtutils::NoticePort* realNotices = nullptr) {
    writeFile(folder.filePath(QStringLiteral("settings.ini")), settings);
    system = std::make_unique<LinuxSystem>(binFolder.path());
    program = std::make_unique<GuiProgram>(folder.path().toStdString(), link, clock,
                                           GuiSeams{realNotices != nullptr ? *realNotices : notices, end,
                                                    *system, [this](const QUrl& url) { urls.append(url); }});
  }
  QString settingsPath() const { return folder.filePath(QStringLiteral("settings.ini")); }
  // Shows the main window and waits for its first activation to attach the game. A failure ends this
  // call, not the test function, which fails all the same.
  void showAttached() {
    program->show();
    QTRY_COMPARE(link.opens, 1);
  }

  QTemporaryDir folder;
  QTemporaryDir binFolder;
  RecordingNotices notices;
  ThrowingEnd end;
  CountingLink link;
  SystemClock clock;
  std::unique_ptr<LinuxSystem> system;
  QList<QUrl> urls;
  std::unique_ptr<GuiProgram> program;
};

// A rectangle given in twips, as the window layouts give them, in pixels at 15 twips a pixel.
inline QRect fromTwips(int left, int top, int width, int height) {
  return {left / 15, top / 15, width / 15, height / 15};
}

// Settings that attach at once and keep both timers quiet, so that only the test acts.
inline const QByteArray kQuietSettings = "[General]\r\nFirst Run=False\r\nInterval=0\r\nInterval 2=0\r\n";
