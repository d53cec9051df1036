#include "ui/message_view_form.h"

#include "ui/text_convert.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace pelmora {

TMessageBrowser::TMessageBrowser(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [](const QUrl& url) {
        const QString scheme = url.scheme().toLower();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
            scheme == QLatin1String("mailto"))
            QDesktopServices::openUrl(url);
    });
}

void TMessageBrowser::SetLocalFiles(std::map<std::string, std::string> cidFiles,
                                    std::string directory) {
    CidFiles = std::move(cidFiles);
    Directory = std::move(directory);
}

QVariant TMessageBrowser::loadResource(int type, const QUrl& name) {
    QString path;
    const QString scheme = name.scheme().toLower();
    if (scheme == QLatin1String("cid")) {
        const std::string id = FromQt(name.toString(QUrl::FullyDecoded).mid(4).toLower());
        auto found = CidFiles.find(id);
        if (found != CidFiles.end())
            path = ToQt(found->second);
    } else if (scheme.isEmpty() || scheme == QLatin1String("file")) {
        // Only the window's own directory; a path that leaves it by "..", or a link, is no
        // part of the message.
        const QString candidate = QFileInfo(name.toLocalFile().isEmpty() ? name.path()
                                                                         : name.toLocalFile())
                                      .canonicalFilePath();
        if (!Directory.empty() && !candidate.isEmpty() &&
            candidate.startsWith(QFileInfo(ToQt(Directory)).canonicalFilePath() + "/"))
            path = candidate;
    }
    if (path.isEmpty()) {
        RefusedUrls.append(name.toString());
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    (void)type;
    return file.readAll();
}

} // namespace pelmora
