#pragma once
// "Log Directory": picks a directory from a list of the current path's levels
// and the current directory's subdirectories.

#include <QDialog>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

class TfmLogDir : public QDialog {
    Q_OBJECT

public:
    explicit TfmLogDir(const QString& startDir, QWidget* parent = nullptr);

    // After OK the full path of the chosen directory, otherwise the start directory.
    QString Result() const { return m_result; }
    QString CurrentDirectory() const { return m_current; }
    void SetCurrentDirectory(const QString& path);

    // path as it fits into width pixels: middle levels become "...", and a
    // last level that is still too wide is cut with an ellipsis.
    static QString ShortenPath(const QString& path, const QFontMetrics& metrics, int width);

    QListWidget* DirectoryListBox1;
    QLabel* lbDir;
    QPushButton* btnOK;
    QPushButton* btnCancel;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void DirectoryListBox1Click(QListWidgetItem* item);
    void btnOKClick();
    void FillList();
    void UpdateLabel();

    QString m_start;
    QString m_result;
    QString m_current;
};
