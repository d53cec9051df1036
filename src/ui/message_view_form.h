#pragma once
// TMessageBrowser: shows a message's HTML read-only. It loads only the message's own parts
// (the "cid:" pictures and the files of its window's private directory) and never anything
// from the network; scripts do not exist for it. Links open in the desktop's browser only
// when clicked.
// TMessageView: the browser with the bar above it that says what was held back (remote
// pictures, a document too large or too deeply nested to lay out) and offers to show the
// remote pictures of this message. The stored message is never changed by what is shown.

#include <QTextBrowser>
#include <QWidget>

#include <map>
#include <set>
#include <string>

class QLabel;
class QNetworkAccessManager;
class QPushButton;

namespace pelmora {

// The path a "file:" or scheme-less address names; empty for every other address.
QString LocalPathOf(const QUrl& name);

class TMessageBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit TMessageBrowser(QWidget* parent);

    // The files "cid:" references resolve to (key: identifier in lower case) and the one
    // directory local files may be loaded from (ends in "/").
    void SetLocalFiles(std::map<std::string, std::string> cidFiles, std::string directory);
    QVariant loadResource(int type, const QUrl& name) override;

    // Every address a resource was refused for (remote pictures, files elsewhere).
    const QStringList& Refused() const { return RefusedUrls; }
    // Pictures fetched after the user asked for them (key: the address as written).
    void AddFetched(const QString& address, const QByteArray& data) { Fetched[address] = data; }

private:
    std::map<QString, QByteArray> Fetched;
    std::map<std::string, std::string> CidFiles;
    std::string Directory;
    QStringList RefusedUrls;
};

class TMessageView : public QWidget {
    Q_OBJECT
public:
    explicit TMessageView(QWidget* parent);

    TMessageBrowser* Browser() const { return View; }
    QWidget* Bar() const { return BarFrame; }
    QPushButton* ShowRemoteButton() const { return ShowRemote; }

    // Shows a message's HTML with its local pictures. Remote pictures stay out until the
    // user asks for them.
    void ShowMessage(const std::string& html, std::map<std::string, std::string> cidFiles,
                     std::string directory);
    // The remote picture addresses the shown document names (http and https).
    const std::set<QString>& RemotePictures() const { return Remote; }
    // True when the document was shown cut short or as text.
    bool Reduced() const { return ReducedView; }

    // HTML larger than this is shown up to about this size; deeper nesting is shown as text.
    static constexpr size_t kMaxLaidOutBytes = 512 * 1024;
    static constexpr int kMaxNesting = 400;

    // Pictures larger than this are not fetched.
    static constexpr qint64 kMaxRemoteBytes = 8 * 1024 * 1024;

Q_SIGNALS:
    // All remote pictures asked for have arrived or failed.
    void RemoteFinished();

private:
    void FetchRemotePictures();
    void FindRemotePictures();
    void UpdateBar();

    TMessageBrowser* View = nullptr;
    QWidget* BarFrame = nullptr;
    QLabel* BarText = nullptr;
    QPushButton* ShowRemote = nullptr;
    std::set<QString> Remote;
    QNetworkAccessManager* Network = nullptr; // made on the first request
    QString Shown;                            // the HTML as shown, for the reload
    int Pending = 0;
    int Arrived = 0;
    QString Note;
    bool ReducedView = false;
};

} // namespace pelmora
