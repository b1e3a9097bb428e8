#include "app/desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace reelmill {

void QtDesktop::Message(const QString& text) {
  QMessageBox::information(owner_, QApplication::applicationDisplayName(), text);
}

void QtDesktop::Warning(const QString& text) {
  QApplication::beep();
  QMessageBox::warning(owner_, QApplication::applicationDisplayName(), text);
}

void QtDesktop::Report(const QString& text, const QString& details) {
  QMessageBox box(QMessageBox::Information, QApplication::applicationDisplayName(), text, QMessageBox::Ok, owner_);
  box.setDetailedText(details);
  box.exec();
}

QStringList QtDesktop::AskOpenFiles(const QString& filter) {
  return QFileDialog::getOpenFileNames(owner_, QString(), QString(), filter);
}

QString QtDesktop::AskFolder(const QString& title) {
  return QFileDialog::getExistingDirectory(owner_, title, QString(), QFileDialog::ShowDirsOnly);
}

std::optional<SaveChoice> QtDesktop::AskSavePath(const QStringList& filters, int selectedFilter) {
  // No overwrite question: an existing image of the chosen name is replaced.
  QFileDialog dialog(nullptr, QString());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setNameFilters(filters);
  if (selectedFilter >= 1 && selectedFilter <= filters.size()) dialog.selectNameFilter(filters[selectedFilter - 1]);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return SaveChoice{dialog.selectedFiles().front(), static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1};
}

bool QtDesktop::Open(const QUrl& url) { return QDesktopServices::openUrl(url); }

int QtDesktop::RunModal(QDialog& dialog) { return dialog.exec(); }

}  // namespace reelmill
