#include "ui/widgets/GuiFront.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QMessageBox>
#include <QUrl>
#include <algorithm>

#include "sms/Utf8.h"

namespace kavonet::ui {

namespace {

constexpr int kSuppressed = -1;

// Gateway texts break lines with CR, as the boxes they were written for did.
QString BoxText(const std::string& text) {
  QString shown = QString::fromStdString(sms::ValidUtf8(text));
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

}  // namespace

GuiFront::GuiFront() = default;

GuiFront::~GuiFront() {
  if (busy_) QApplication::restoreOverrideCursor();
}

void GuiFront::AttachWindow(QWidget* window) {
  window_ = window;
}

bool GuiFront::IsOpen(const std::string& text) const {
  return std::find(openTexts_.begin(), openTexts_.end(), text) != openTexts_.end();
}

QWidget* GuiFront::BoxParent() const {
  // Over an open dialog rather than behind it.
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return window_.data();
}

int GuiFront::RunBox(int icon, const std::string& text, int buttons, int defaultButton) {
  if (IsOpen(text)) return kSuppressed;
  QMessageBox box(static_cast<QMessageBox::Icon>(icon), QStringLiteral("Kavonet"), BoxText(text),
                  static_cast<QMessageBox::StandardButtons>(buttons), BoxParent());
  box.setDefaultButton(static_cast<QMessageBox::StandardButton>(defaultButton));
  box.setTextFormat(Qt::PlainText);
  openTexts_.push_back(text);
  const int answer = box.exec();
  Closed(text);
  return answer;
}

void GuiFront::ShowWithoutWaiting(int icon, const std::string& text) {
  if (IsOpen(text)) return;
  auto* box = new QMessageBox(static_cast<QMessageBox::Icon>(icon), QStringLiteral("Kavonet"),
                              BoxText(text), QMessageBox::Ok, BoxParent());
  box->setTextFormat(Qt::PlainText);
  box->setAttribute(Qt::WA_DeleteOnClose);
  openTexts_.push_back(text);
  QObject::connect(box, &QDialog::finished, &lifetime_, [this, text] { Closed(text); });
  box->open();
}

void GuiFront::Closed(const std::string& text) {
  const auto last = std::find(openTexts_.rbegin(), openTexts_.rend(), text);
  if (last != openTexts_.rend()) openTexts_.erase(std::next(last).base());
}

void GuiFront::ErrorBox(const std::string& text) {
  if (clientCalls_ > 0) {
    ShowWithoutWaiting(QMessageBox::Critical, text);
    return;
  }
  RunBox(QMessageBox::Critical, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool GuiFront::WarningYesNo(const std::string& text) {
  return RunBox(QMessageBox::Warning, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
         QMessageBox::Yes;
}

void GuiFront::MessageBeep(BeepType /*type*/) {
  QApplication::beep();
}

void GuiFront::SetCursor(TCursor cursor) {
  const bool busy = cursor == TCursor::crHourGlass;
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void GuiFront::OpenWithShell(const std::string& fileName) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(fileName.c_str())));
}

void GuiFront::Minimize() {
  if (!window_ || window_->isMinimized() || window_->isHidden()) return;
  window_->showMinimized();
}

void GuiFront::Restore() {
  if (!window_ || (!window_->isMinimized() && window_->isVisible())) return;
  BringToFront();
}

void GuiFront::BringToFront() {
  if (!window_) return;
  if (window_->isMinimized() || window_->isHidden()) window_->showNormal();
  window_->raise();
  window_->activateWindow();
}

}  // namespace kavonet::ui
