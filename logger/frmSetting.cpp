#include "logger/frmSetting.h"

#include "logger/colorPicker.h"
#include "logger/core/eventTypes.h"
#include "logger/frmLogDir.h"
#include "logger/messageBoxes.h"
#include "logger/okCancelButtons.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The text as typed; only a relative one is made absolute, so that the log
// does not move with the working directory of the next start.
QString ResolveDirectory(const QString& text)
{
    return text.isEmpty() || QDir::isAbsolutePath(text) ? text : QFileInfo(text).absoluteFilePath();
}

} // namespace

TfmSettings::TfmSettings(const TAkSettings& current, QWidget* parent)
    : QDialog(parent)
    , m_settings(current)
{
    showMessage = ShowMessageBox;
    showError = ShowErrorBox;

    setWindowTitle(QStringLiteral("System Settings"));

    auto* portGroup = new QGroupBox(QStringLiteral("Alarm Listen Port"), this);
    auto* portRow = new QHBoxLayout(portGroup);
    etPort = new QLineEdit(portGroup);
    etPort->setObjectName(QStringLiteral("etPort"));
    etPort->setMaximumWidth(120);
    portRow->addWidget(new QLabel(QStringLiteral("Port :"), portGroup));
    portRow->addWidget(etPort);
    portRow->addStretch();

    auto* dirGroup = new QGroupBox(QStringLiteral("Log Directory"), this);
    auto* dirRow = new QHBoxLayout(dirGroup);
    etDir = new QLineEdit(dirGroup);
    etDir->setObjectName(QStringLiteral("etDir"));
    btnPath = new QToolButton(dirGroup);
    btnPath->setObjectName(QStringLiteral("btnPath"));
    btnPath->setAutoRaise(true);
    btnPath->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    btnPath->setToolTip(QStringLiteral("Browse"));
    dirRow->addWidget(new QLabel(QStringLiteral("Directory :"), dirGroup));
    dirRow->addWidget(etDir, 1);
    dirRow->addWidget(btnPath);

    auto* colourGroup = new QGroupBox(QStringLiteral("Screen Color"), this);
    auto* grid = new QGridLayout(colourGroup);
    QFont headingFont = font();
    headingFont.setBold(true);
    headingFont.setUnderline(true);
    auto* typeHeading = new QLabel(QStringLiteral("Event Type"), colourGroup);
    auto* colourHeading = new QLabel(QStringLiteral("Color"), colourGroup);
    typeHeading->setFont(headingFont);
    colourHeading->setFont(headingFont);
    grid->addWidget(typeHeading, 0, 0);
    grid->addWidget(colourHeading, 0, 1);
    TColorPicker** pickers[4] = { &cb1, &cb2, &cb3, &cb4 };
    for (int code = 0; code < kEventTypeCount; ++code) {
        auto* picker = new TColorPicker(colourGroup);
        picker->setObjectName(QStringLiteral("cb%1").arg(code + 1));
        picker->setMinimumWidth(180);
        *pickers[code] = picker;
        grid->addWidget(new QLabel(QString::fromLatin1(EventTypeTable[code].Name), colourGroup), code + 1, 0);
        grid->addWidget(picker, code + 1, 1);
    }
    grid->setColumnStretch(2, 1);
    grid->setColumnMinimumWidth(0, 120);

    QDialogButtonBox* buttons = OkCancelButtons(this, btnOK, btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(portGroup);
    layout->addWidget(dirGroup);
    layout->addWidget(colourGroup, 1);
    layout->addWidget(buttons);

    setFixedSize(440, 385);

    connect(btnOK, &QPushButton::clicked, this, &TfmSettings::btnOKClick);
    connect(btnPath, &QToolButton::clicked, this, &TfmSettings::btnPathClick);

    FormCreate();
}

void TfmSettings::FormCreate()
{
    etPort->setText(QString::number(m_settings.Port));
    etDir->setText(m_settings.LogPath);
    const auto pickers = Pickers();
    for (int code = 0; code < kEventTypeCount; ++code)
        pickers[code]->SetStored(m_settings.Colors[code]);
}

void TfmSettings::btnOKClick()
{
    const QString portText = etPort->text();
    bool ok = false;
    const int port = portText.trimmed().toInt(&ok, 10);
    if (!ok) {
        // Nothing is applied, but the dialog still closes as accepted, so the
        // owner writes the unchanged values.
        showError(this, QStringLiteral("'%1' is not a valid integer value").arg(portText));
        Finish();
        return;
    }
    if (port < 1 || port > 65535) {
        // A port the listener could never open: stay here so it can be fixed.
        showMessage(this, QStringLiteral("The port must be a number from 1 to 65535"));
        etPort->setFocus();
        etPort->selectAll();
        return;
    }

    if (port != m_settings.Port)
        showMessage(
            this, QStringLiteral("You have to restart the application to make the new settings to take effect"));
    m_settings.Port = port;

    if (!ApplyDirectory())
        showMessage(this, QStringLiteral("Cannot create %1").arg(etDir->text()));

    const auto pickers = Pickers();
    for (int code = 0; code < kEventTypeCount; ++code)
        m_settings.Colors[code] = pickers[code]->Stored();

    Finish();
}

// LogPath takes the directory when it exists or its last level can be made.
bool TfmSettings::ApplyDirectory()
{
    const QString path = ResolveDirectory(etDir->text());
    const QFileInfo info(path);
    if (!(info.isDir() || (!info.exists() && QDir().mkdir(path))))
        return false;
    m_settings.LogPath = path;
    return true;
}

void TfmSettings::Finish()
{
    accept();
    emit SettingsAccepted(m_settings);
}

void TfmSettings::btnPathClick()
{
    TfmLogDir chooser(etDir->text(), this);
    if (chooser.exec() == QDialog::Accepted)
        etDir->setText(chooser.Result());
}
