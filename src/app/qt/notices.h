// Every message box of the program goes through one port: the window shows a modal box, the service mode
// writes to stderr, tests answer it themselves.
#pragma once

#include <QString>

class QWidget;

inline constexpr const char* kNoticeTitle = "Zarn - Vote";

class NoticePort {
 public:
  virtual ~NoticePort() = default;
  // A modal notice with an OK button only and the program's title, over `parent` (may be null); returns
  // when the operator has closed it. The timers keep ticking meanwhile.
  virtual void notify(QWidget* parent, const QString& text) = 0;
};

class MessageBoxNotices final : public NoticePort {
 public:
  void notify(QWidget* parent, const QString& text) override;
};
