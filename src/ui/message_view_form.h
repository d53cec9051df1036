#pragma once
// TMessageBrowser: shows a message's HTML read-only. It loads only the message's own parts
// (the "cid:" pictures and the files of its window's private directory) and never anything
// from the network; scripts do not exist for it. Links open in the desktop's browser only
// when clicked.

#include <QTextBrowser>

#include <map>
#include <string>

namespace pelmora {

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

private:
    std::map<std::string, std::string> CidFiles;
    std::string Directory;
    QStringList RefusedUrls;
};

} // namespace pelmora
