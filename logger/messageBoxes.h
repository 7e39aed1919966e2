#pragma once
// Boxes of the program: a message box (OK, captioned with the application
// title), a confirmation box ("Confirm", Yes default, Escape answers No; its
// close box gives neither answer) and an error box.
#include <QString>

class QWidget;

inline constexpr const char* kAppTitle = "KORVEL Alarmkeeper";

enum class TAnswer { Yes, No, Closed };
void ShowMessageBox(QWidget* parent, const QString& text);
TAnswer ShowConfirmBox(QWidget* parent, const QString& text);
void ShowErrorBox(QWidget* parent, const QString& text);
