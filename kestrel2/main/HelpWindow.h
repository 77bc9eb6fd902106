#pragma once
// Help: the prompt behind the "&Help" menus of the configuration and monitor
// windows, and the technical publications window it leads to. The window lets
// the user pick a publication (a PDF) and hands it to the desktop's viewer.
#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;

namespace kestrel2 {

// The maker's web site, where the technical publications can be downloaded.
QString MakerWebSite();

// Where the publications are looked for: $XDG_DATA_HOME/kestrel2/publications
// when it exists, else <install prefix>/share/kestrel2/publications when that
// exists, else the first of the two (created).
QString PublicationsFolder();
QString UserPublicationsFolder();
QString InstalledPublicationsFolder();

using DocumentViewer = std::function<bool(const QUrl&)>;
// Replaces the viewer (QDesktopServices::openUrl); an empty function restores it.
void SetDocumentViewer(DocumentViewer viewer);

class Frmhelp : public QWidget {
    Q_OBJECT
public:
    explicit Frmhelp(QWidget* parent = nullptr);

    QLabel* lblDocument() const { return documentLabel; }
    QPushButton* cmdChoose() const { return chooseButton; }
    QString documentShown() const { return shown; }

    // Asks for a publication and shows it in the viewer.
    void Form_Load();
    // Shows the given file (empty: nothing chosen).
    void ShowDocument(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool loaded = false;
    QString shown;
    QLabel* documentLabel = nullptr;
    QLabel* folderLabel = nullptr;
    QPushButton* chooseButton = nullptr;
    QPushButton* closeButton = nullptr;
};

} // namespace kestrel2
