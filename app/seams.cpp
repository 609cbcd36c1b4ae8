#include "app/seams.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

void QtSeams::ShowError(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Błąd"), text, QMessageBox::Ok, parent);
    box.exec();
}

int QtSeams::ExecModal(QDialog& dialog)
{
    return dialog.exec();
}

std::optional<QString> QtSeams::SaveFileName(QWidget* parent, const QString& suggested)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The file type is offered by its description alone, "Konfiguracja kontrolera"; the pattern
    // stays behind it.
    dialog.setNameFilter(QStringLiteral("Konfiguracja kontrolera (*.txt)"));
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.setDirectory(QDir::currentPath());
    // No question before overwriting: running the report twice with one name replaces the file.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return files.first();
}

void QtSeams::OpenUrl(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

QDateTime QtSeams::Now()
{
    return QDateTime::currentDateTime();
}
