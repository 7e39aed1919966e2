#include "logger/frmLogDir.h"

#include "logger/okCancelButtons.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;
constexpr int kIndent = 10;

// Draws each entry indented by its level, as a tree of the path.
class LevelDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem shifted(option);
        shifted.rect.adjust(index.data(kLevelRole).toInt() * kIndent, 0, 0, 0);
        QStyledItemDelegate::paint(painter, shifted, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(index.data(kLevelRole).toInt() * kIndent, 0);
    }
};

// The nearest existing directory at or above path; the program's directory
// when nothing of it exists.
QString ExistingDirectory(const QString& path)
{
    if (!path.trimmed().isEmpty()) {
        QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
        for (;;) {
            if (info.isDir())
                return info.absoluteFilePath();
            const QString parent = info.absolutePath();
            if (parent == info.absoluteFilePath())
                break;
            info.setFile(parent);
        }
    }
    return QCoreApplication::applicationDirPath();
}

} // namespace

TfmLogDir::TfmLogDir(const QString& startDir, QWidget* parent)
    : QDialog(parent)
    , m_start(startDir)
    , m_result(startDir)
{
    setWindowTitle(QStringLiteral("Log Directory"));

    auto* group = new QGroupBox(QStringLiteral("Select Directory to Store Log Files"), this);
    auto* groupLayout = new QVBoxLayout(group);
    DirectoryListBox1 = new QListWidget(group);
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    DirectoryListBox1->setItemDelegate(new LevelDelegate(DirectoryListBox1));
    DirectoryListBox1->setUniformItemSizes(true);
    lbDir = new QLabel(group);
    lbDir->setObjectName(QStringLiteral("lbDir"));
    lbDir->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    groupLayout->addWidget(DirectoryListBox1, 1);
    groupLayout->addWidget(lbDir);

    QDialogButtonBox* buttons = OkCancelButtons(this, btnOK, btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addWidget(buttons);

    setFixedSize(330, 320);

    connect(DirectoryListBox1, &QListWidget::itemClicked, this, &TfmLogDir::DirectoryListBox1Click);
    // Only a single click and Return open an entry: a double click would
    // otherwise open the entry that the first click moved under the pointer.
    DirectoryListBox1->installEventFilter(this);
    connect(btnOK, &QPushButton::clicked, this, &TfmLogDir::btnOKClick);

    FormCreate();
}

void TfmLogDir::FormCreate()
{
    SetCurrentDirectory(ExistingDirectory(m_start));
}

void TfmLogDir::SetCurrentDirectory(const QString& path)
{
    m_current = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    FillList();
    UpdateLabel();
}

void TfmLogDir::FillList()
{
    DirectoryListBox1->clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The levels from the root down to the current directory.
    QStringList levels;
    for (QDir dir(m_current);;) {
        levels.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp())
            break;
    }
    int level = 0;
    for (const QString& path : levels) {
        const QString name = QDir(path).isRoot() ? QDir::toNativeSeparators(path) : QFileInfo(path).fileName();
        auto* item = new QListWidgetItem(openIcon, name, DirectoryListBox1);
        item->setData(kPathRole, path);
        item->setData(kLevelRole, level++);
    }
    DirectoryListBox1->setCurrentRow(DirectoryListBox1->count() - 1);

    const QFileInfoList subdirs = QDir(m_current).entryInfoList(
        QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QFileInfo& sub : subdirs) {
        auto* item = new QListWidgetItem(closedIcon, sub.fileName(), DirectoryListBox1);
        item->setData(kPathRole, sub.absoluteFilePath());
        item->setData(kLevelRole, level);
    }
}

void TfmLogDir::DirectoryListBox1Click(QListWidgetItem* item)
{
    if (!item)
        return;
    const QString path = item->data(kPathRole).toString();
    if (path == m_current)
        return;
    // The item goes away with the list it belongs to.
    SetCurrentDirectory(path);
}

void TfmLogDir::btnOKClick()
{
    m_result = QDir::toNativeSeparators(m_current);
    accept();
}

QString TfmLogDir::ShortenPath(const QString& path, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    const QString sep = QDir::separator();
    QStringList parts = QDir::fromNativeSeparators(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString root;
    if (QDir::fromNativeSeparators(path).startsWith(QLatin1Char('/')))
        root = sep;
    else if (!parts.isEmpty() && parts.first().endsWith(QLatin1Char(':')))
        root = parts.takeFirst() + sep; // drive letter
    const QString dots = QStringLiteral("...");
    while (parts.size() > 1) {
        parts.removeFirst();
        const QString candidate = root + dots + sep + parts.join(sep);
        if (metrics.horizontalAdvance(candidate) <= width)
            return candidate;
    }
    const QString last = parts.isEmpty() ? QString() : parts.first();
    const QString head = root + dots + sep;
    const QString tail = metrics.elidedText(last, Qt::ElideRight, qMax(0, width - metrics.horizontalAdvance(head)));
    return head + tail;
}

void TfmLogDir::UpdateLabel()
{
    const QString full = QDir::toNativeSeparators(m_current);
    lbDir->setToolTip(full);
    lbDir->setText(ShortenPath(full, lbDir->fontMetrics(), DirectoryListBox1->width()));
}

bool TfmLogDir::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == DirectoryListBox1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            DirectoryListBox1Click(DirectoryListBox1->currentItem());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfmLogDir::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    UpdateLabel();
}

void TfmLogDir::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    UpdateLabel();
}
