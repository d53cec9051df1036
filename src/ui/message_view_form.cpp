#include "ui/message_view_form.h"

#include "compose/compose_text.h"
#include "paramtree/text_util.h"
#include "ui/text_convert.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <string_view>

namespace pelmora {

namespace {

bool IsRemote(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// Elements that are often left open (or cannot hold anything): they do not count as nesting.
bool LeftOpenOften(std::string_view name) {
    static const char* const kNames[] = {"br", "img",   "hr",  "meta", "input", "link", "col",
                                         "area", "base", "wbr", "p",    "li",    "td",   "tr",
                                         "th", "option", "dt", "dd",   "source", "param"};
    for (const char* item : kNames)
        if (name == item)
            return true;
    return false;
}

// The deepest nesting of elements in an HTML text, counted in one pass (opening tags one
// deeper, closing tags one shallower); counting stops at `limit`.
int NestingDepth(std::string_view html, int limit) {
    int depth = 0;
    int deepest = 0;
    for (size_t i = 0; i + 1 < html.size(); ++i) {
        if (html[i] != '<')
            continue;
        const bool closing = html[i + 1] == '/';
        size_t start = i + (closing ? 2 : 1);
        size_t end = start;
        while (end < html.size() && end - start < 10 && std::isalnum(static_cast<unsigned char>(html[end])))
            ++end;
        if (end == start)
            continue;
        const std::string name = LowerAscii(html.substr(start, end - start));
        if (LeftOpenOften(name))
            continue;
        if (closing) {
            depth = std::max(0, depth - 1);
            continue;
        }
        const size_t close = html.find('>', end);
        if (close == std::string_view::npos)
            break;
        if (html[close - 1] != '/' && ++depth > deepest) {
            deepest = depth;
            if (deepest >= limit)
                return deepest;
        }
        i = close;
    }
    return deepest;
}

} // namespace

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

QString LocalPathOf(const QUrl& name) {
    if (name.isLocalFile())
        return name.toLocalFile();
    if (name.scheme().isEmpty())
        return name.path();
    return {};
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
        const std::string id = FromQt(name.path(QUrl::FullyDecoded).toLower());
        auto found = CidFiles.find(id);
        if (found != CidFiles.end())
            path = ToQt(found->second);
    } else if (IsRemote(name)) {
        auto found = Fetched.find(name.toString());
        if (found != Fetched.end())
            return found->second;
    } else if (scheme.isEmpty() || scheme == QLatin1String("file")) {
        // Only the window's own directory; a path that leaves it by "..", or a link, is no
        // part of the message.
        const QString candidate = QFileInfo(LocalPathOf(name)).canonicalFilePath();
        if (!Directory.empty() && !candidate.isEmpty() &&
            candidate.startsWith(QFileInfo(ToQt(Directory)).canonicalFilePath() + "/"))
            path = candidate;
    }
    if (path.isEmpty()) {
        RefusedUrls.append(name.toString());
        return {};
    }
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    (void)type;
    return file.readAll();
}

TMessageView::TMessageView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MessageView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BarFrame = new QWidget(this);
    BarFrame->setObjectName(QStringLiteral("RemoteContentBar"));
    BarFrame->setAutoFillBackground(true);
    QPalette palette = BarFrame->palette();
    palette.setColor(QPalette::Window, QColor(0xff, 0xf4, 0xc4));
    palette.setColor(QPalette::WindowText, Qt::black);
    BarFrame->setPalette(palette);
    auto* barLayout = new QHBoxLayout(BarFrame);
    barLayout->setContentsMargins(6, 3, 6, 3);
    BarText = new QLabel(BarFrame);
    BarText->setObjectName(QStringLiteral("RemoteContentText"));
    BarText->setWordWrap(true);
    ShowRemote = new QPushButton(QStringLiteral("Show remote pictures"), BarFrame);
    ShowRemote->setObjectName(QStringLiteral("ShowRemotePictures"));
    ShowRemote->setToolTip(QStringLiteral("Loads the pictures of this message from the network"));
    barLayout->addWidget(BarText, 1);
    barLayout->addWidget(ShowRemote);
    View = new TMessageBrowser(this);
    View->setObjectName(QStringLiteral("Reader"));
    layout->addWidget(BarFrame);
    layout->addWidget(View, 1);
    BarFrame->hide();
    connect(ShowRemote, &QPushButton::clicked, this, &TMessageView::FetchRemotePictures);
}

void TMessageView::FetchRemotePictures() {
    // Only now, because the user asked, and only for this message's pictures.
    ShowRemote->setEnabled(false);
    if (!Network)
        Network = new QNetworkAccessManager(this);
    Pending = static_cast<int>(Remote.size());
    Arrived = 0;
    for (const QString& address : Remote) {
        QNetworkRequest request{QUrl(address)};
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::NoLessSafeRedirectPolicy);
        request.setMaximumRedirectsAllowed(5);
        request.setTransferTimeout(20000);
        QNetworkReply* reply = Network->get(request);
        connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
            if (received > kMaxRemoteBytes)
                reply->abort();
        });
        connect(reply, &QNetworkReply::finished, this, [this, reply, address] {
            if (reply->error() == QNetworkReply::NoError) {
                View->AddFetched(address, reply->readAll());
                ++Arrived;
            }
            reply->deleteLater();
            if (--Pending > 0)
                return;
            // Laid out again, now with the fetched pictures.
            const int scroll = View->verticalScrollBar()->value();
            if (ReducedView && Shown.isEmpty())
                return;
            View->setHtml(Shown);
            View->verticalScrollBar()->setValue(scroll);
            BarText->setText(Note + QStringLiteral("%1 of %2 remote pictures loaded for this message.")
                                        .arg(Arrived)
                                        .arg(Remote.size()));
            ShowRemote->hide();
            Q_EMIT RemoteFinished();
        });
    }
}

void TMessageView::ShowMessage(const std::string& html, std::map<std::string, std::string> cidFiles,
                               std::string directory) {
    View->SetLocalFiles(std::move(cidFiles), std::move(directory));
    Note.clear();
    Shown.clear();
    ReducedView = false;
    // The layout engine takes seconds on documents of many megabytes or thousands of nested
    // elements; such a message is shown cut short or as text, and says so.
    if (NestingDepth(html, kMaxNesting) >= kMaxNesting) {
        ReducedView = true;
        Note = QStringLiteral("This message nests its layout too deeply to be shown as designed; "
                              "it is shown as text. ");
        View->setPlainText(ToQtLines(compose::HtmlToPlain(html.size() > 4 * kMaxLaidOutBytes
                                                              ? html.substr(0, 4 * kMaxLaidOutBytes)
                                                              : html)));
    } else if (html.size() > kMaxLaidOutBytes) {
        ReducedView = true;
        size_t cut = html.rfind('<', kMaxLaidOutBytes);
        if (cut == std::string::npos || cut < kMaxLaidOutBytes / 2)
            cut = kMaxLaidOutBytes;
        Note = QStringLiteral("This message is too large to show whole; its first %1 KB are shown "
                              "(Show Source has all of it). ")
                   .arg(cut / 1024);
        Shown = ToQt(std::string_view(html).substr(0, cut));
        View->setHtml(Shown);
    } else {
        Shown = ToQt(html);
        View->setHtml(Shown);
    }
    FindRemotePictures();
    UpdateBar();
}

void TMessageView::FindRemotePictures() {
    Remote.clear();
    QTextDocument* document = View->document();
    auto note = [this](const QString& address) {
        const QUrl url(address);
        if (IsRemote(url))
            Remote.insert(url.toString());
    };
    const QTextFrameFormat root = document->rootFrame()->frameFormat();
    if (root.hasProperty(QTextFormat::BackgroundImageUrl))
        note(root.stringProperty(QTextFormat::BackgroundImageUrl));
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat())
                note(format.toImageFormat().name());
        }
    }
}

void TMessageView::UpdateBar() {
    QString text = Note;
    if (!Remote.empty())
        text += QStringLiteral("%1 remote picture(s) of this message were not loaded, to "
                               "protect your privacy.")
                    .arg(Remote.size());
    ShowRemote->setVisible(!Remote.empty());
    ShowRemote->setEnabled(true);
    BarText->setText(text);
    BarFrame->setVisible(!text.isEmpty());
}

} // namespace pelmora
