#pragma once
// "System Settings": listening port, log directory and the four event colours.
//
// The dialog edits a copy of the main window's current settings. OK applies
// the accept rules to that copy; the owner then takes Settings(), keeps and
// stores them and redraws its table. Sort order passes through untouched.

#include "logger/core/akSettings.h"

#include <QDialog>
#include <array>
#include <functional>

class QLineEdit;
class QPushButton;
class QToolButton;
class TColorPicker;

class TfmSettings : public QDialog {
    Q_OBJECT

public:
    explicit TfmSettings(const TAkSettings& current, QWidget* parent = nullptr);

    // The values after OK; unchanged after Cancel or a port text that is no number.
    const TAkSettings& Settings() const { return m_settings; }

    // Plain message box and error box; tests put recorders here.
    std::function<void(QWidget*, const QString&)> showMessage;
    std::function<void(QWidget*, const QString&)> showError;

    QLineEdit* etPort;
    QLineEdit* etDir;
    QToolButton* btnPath;
    TColorPicker* cb1;
    TColorPicker* cb2;
    TColorPicker* cb3;
    TColorPicker* cb4;
    QPushButton* btnOK;
    QPushButton* btnCancel;

signals:
    // After every close with OK, with Settings().
    void SettingsAccepted(const TAkSettings& settings);

private:
    void FormCreate();
    void btnOKClick();
    void btnPathClick();
    bool ApplyDirectory();
    void Finish();
    std::array<TColorPicker*, 4> Pickers() const { return { cb1, cb2, cb3, cb4 }; }

    TAkSettings m_settings;
};
