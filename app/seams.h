#pragma once
#include <optional>

#include <QDateTime>
#include <QString>

class QDialog;
class QUrl;
class QWidget;

// The side effects of the main window that block or leave the process: the error box, modal
// dialogs, the save-file dialog, the browser, and the clock of the report. Tests replace them.
class AppSeams {
public:
    virtual ~AppSeams() = default;

    // The platform's error box with a single OK button; returns when the user closes it.
    virtual void ShowError(QWidget* parent, const QString& text) = 0;
    // The platform's warning box with a single OK button; returns when the user closes it.
    virtual void ShowWarning(QWidget* parent, const QString& text) = 0;
    // Shows a dialog modally (help window, location dialog) and returns its result code.
    virtual int ExecModal(QDialog& dialog) = 0;
    // The report's save dialog: the file type "Konfiguracja kontrolera" (*.txt), default extension
    // ".txt", starting in the working directory with the suggested name. nullopt on cancel.
    virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& suggested) = 0;
    // Opens the address in the user's default web browser; the outcome is not examined.
    virtual void OpenUrl(const QUrl& url) = 0;
    // Local date and time.
    virtual QDateTime Now() = 0;
};

// The report's file name as it is saved: ".txt" appended unless the name already ends in an
// extension the user typed ("raport.log" stays, "2024.05.17 K105_00042" gets ".txt").
QString WithReportSuffix(const QString& fileName);

// The real ones, through Qt's standard dialogs.
class QtSeams : public AppSeams {
public:
    void ShowError(QWidget* parent, const QString& text) override;
    void ShowWarning(QWidget* parent, const QString& text) override;
    int ExecModal(QDialog& dialog) override;
    std::optional<QString> SaveFileName(QWidget* parent, const QString& suggested) override;
    void OpenUrl(const QUrl& url) override;
    QDateTime Now() override;
};
