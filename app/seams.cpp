#include "app/seams.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QMessageBox>
#include <QUrl>

void QtSeams::ShowError(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Błąd"), text, QMessageBox::Ok, parent);
    box.exec();
}

void QtSeams::ShowWarning(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Uwaga"), text, QMessageBox::Ok, parent);
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
    // The dialog adds its suffix only to a name without a dot; the window gives the report its
    // ".txt" in any case (WithReportSuffix).
    return files.first();
}

QString WithReportSuffix(const QString& fileName)
{
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0) {
        // What follows the last dot counts as an extension the user typed only when it looks like
        // one: up to 8 letters and digits, a letter among them ("txt", "log"), not the day and
        // controller of a suggested name ("17 K105_00042") nor a bare number.
        const QString suffix = name.mid(dot + 1);
        static const QRegularExpression extension(QStringLiteral("^(?=.*[A-Za-z])[A-Za-z0-9]{1,8}$"));
        if (extension.match(suffix).hasMatch()) return fileName;
        if (suffix.isEmpty()) return fileName + QStringLiteral("txt");
    }
    return fileName + QStringLiteral(".txt");
}

void QtSeams::OpenUrl(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

QDateTime QtSeams::Now()
{
    return QDateTime::currentDateTime();
}
