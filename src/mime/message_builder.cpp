// Building: the canonical restructuring of the part tree, texts and attachments, and the
// regeneration of the body text.

#include "mime/mail_message.h"

#include "mime/encoded_words.h"
#include "mime/header_fold.h"
#include "mime/header_write.h"
#include "mime/mail_ids.h"
#include "mime/mime_text.h"
#include "mime/mime_types.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unordered_map>

namespace pelmora {
namespace {

constexpr std::string_view MultipartPreamble = "This is a multipart message in mime format.\r\n";
constexpr std::string_view OctetStream = "application/octet-stream";

std::string Quoted(std::string_view text) {
    std::string result = "\"";
    result += text;
    result += '"';
    return result;
}

std::string_view BaseName(std::string_view path) {
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool NameStartsWith(std::string_view entry, std::string_view prefix) {
    return StartsWithNoCase(entry, prefix);
}

void EmitSubParts(const TMailPart& container, std::string& out) {
    for (const auto& sub : container.SubParts) {
        out += "\r\n--";
        out += sub->ParentBoundary();
        out += "\r\n";
        // Every part's header is folded like the message's own.
        std::string header;
        for (const std::string& entry : sub->Header()) {
            if (entry.empty()) continue;
            header += entry;
            header += "\r\n";
        }
        out += FoldHeaderText(header);
        out += "\r\n";
        if (sub->SubParts.empty()) {
            out += sub->RawBody;
        } else {
            EmitSubParts(*sub, out);
        }
    }
    if (!container.SubParts.empty()) {
        out += "\r\n--";
        out += container.SubParts.front()->ParentBoundary();
        out += "--\r\n";
    }
}

std::size_t EmittedSize(const TMailPart& container) {
    std::size_t size = 0;
    for (const auto& sub : container.SubParts) {
        size += sub->ParentBoundary().size() + 8;
        for (const std::string& entry : sub->Header()) size += entry.size() + 2;
        size += sub->SubParts.empty() ? sub->RawBody.size() : EmittedSize(*sub);
    }
    return size + 64;
}

} // namespace

// Parts taken out of the tree while it is restructured, each held on its own (children are
// taken out of their containers too), so placing a part again costs the same however many
// parts the message holds. Whatever is not placed again is destroyed at the end.
struct TPartPool {
    std::unordered_map<const TMailPart*, std::unique_ptr<TMailPart>> Parts;

    void Hold(std::unique_ptr<TMailPart> part) {
        std::vector<std::unique_ptr<TMailPart>> pending;
        pending.push_back(std::move(part));
        while (!pending.empty()) {
            std::unique_ptr<TMailPart> next = std::move(pending.back());
            pending.pop_back();
            for (auto& sub : next->SubParts) pending.push_back(std::move(sub));
            next->SubParts.clear();
            next->ParentPart = nullptr;
            const TMailPart* key = next.get();
            Parts.emplace(key, std::move(next));
        }
    }

    std::unique_ptr<TMailPart> Take(const TMailPart* part) {
        auto found = Parts.find(part);
        if (found == Parts.end()) return nullptr;
        std::unique_ptr<TMailPart> taken = std::move(found->second);
        Parts.erase(found);
        return taken;
    }
};

TMailPart* TMailMessage::MakeContainer(std::string_view type, std::string_view suffix,
                                       TMailPart* outer) {
    TMailPart* container = outer ? outer->AddSubPart(outer->Boundary()) : this;
    container->SetHeaderValue("Content-Type", type);
    container->SetHeaderParam("Content-Type", "boundary", Quoted(NewBoundary() + std::string(suffix)));
    return container;
}

// Texts that MapParts appended to the shown text become part of the text part itself, in
// UTF-8, so that the canonical shape keeps every text that was shown.
void TMailMessage::JoinExtraTexts() {
    if (ExtraTextParts.empty()) return;
    for (TMailPart* textPart : {PlainTextPart, HtmlTextPart}) {
        if (!textPart) continue;
        const bool plain = textPart == PlainTextPart;
        std::string text = textPart->TextUtf8();
        bool joined = false;
        for (TMailPart* extra : ExtraTextParts) {
            const std::string type = extra->ContentTypeLower();
            const bool extraPlain = type != "text/html";
            if (extraPlain != plain) continue;
            if (!text.empty() && text.back() != '\n') text += "\r\n";
            text += extra->TextUtf8();
            joined = true;
        }
        if (!joined) continue;
        textPart->DecodedData = std::move(text);
        textPart->IsDecoded = true;
        textPart->SetHeaderParam("Content-Type", "charset", "\"utf-8\"");
    }
    ExtraTextParts.clear();
}

void TMailMessage::Restructure(RestructureMode mode) {
    if (mode == RestructureMode::IfStale && !StructureStale) return;
    // 1.
    if (PartMapStale) MapParts();
    StructureStale = false;
    BodyStale = true;
    FileCounter = 0;
    JoinExtraTexts();

    // 2.
    int texts = (PlainTextPart ? 1 : 0) + (HtmlTextPart ? 1 : 0) + (mode == RestructureMode::ForText ? 1 : 0);
    int ordinary = mode == RestructureMode::ForAttachment ? 1 : 0;
    int embedded = mode == RestructureMode::ForEmbedded ? 1 : 0;
    for (TMailPart* part : Attachments) (part->IsEmbedded ? embedded : ordinary) += 1;

    // 3. The message's own content moves to a part of its own; the old tree is taken apart.
    TPartPool pool;
    const bool referenced = PlainTextPart == this || HtmlTextPart == this || MixedContainer == this ||
                            RelatedContainer == this || AlternativeContainer == this;
    const bool isAttachment = std::find(Attachments.begin(), Attachments.end(), this) != Attachments.end();
    std::erase(Attachments, static_cast<TMailPart*>(this));
    if (!RawBody.empty() || referenced || isAttachment) {
        auto moved = std::make_unique<TMailPart>(this);
        moved->RawBody = RawBody;
        if (IsDecoded) {
            moved->DecodedData = DecodedData;
            moved->IsDecoded = true;
        }
        for (const std::string& entry : Header()) {
            if (NameStartsWith(entry, "Content-")) moved->HeaderLines.push_back(entry);
        }
        TMailPart* q = moved.get();
        bool placed = true;
        if (PlainTextPart == this) PlainTextPart = q;
        else if (HtmlTextPart == this) HtmlTextPart = q;
        else if (MixedContainer == this) MixedContainer = q;
        else if (RelatedContainer == this) RelatedContainer = q;
        else if (AlternativeContainer == this) AlternativeContainer = q;
        else placed = false;
        if (!placed && SubParts.empty() && isAttachment) Attachments.insert(Attachments.begin(), q);
        // A container reference that still names the message is dropped with the old tree.
        for (TMailPart** ref : {&MixedContainer, &RelatedContainer, &AlternativeContainer}) {
            if (*ref == this) *ref = nullptr;
        }
        pool.Hold(std::move(moved));
    }
    RawBody.clear();
    DecodedData.clear();
    IsDecoded = false;
    for (auto& sub : SubParts) pool.Hold(std::move(sub));
    SubParts.clear();

    // 4.
    for (std::string_view name : {"Content-Type", "Content-Transfer-Encoding", "Content-Disposition",
                                  "Content-ID", "Content-Location", "Content-Length"})
        RemoveHeader(name);
    SetHeaderValue("Mime-Version", "1.0");
    SetHeaderValue("X-Mailer", MailerIdentification);
    RemoveHeader("X-Pelmora-Attachment");

    // 5.
    InnerContainer = nullptr;
    TMailPart* mixed = nullptr;
    TMailPart* related = nullptr;
    TMailPart* alternative = nullptr;
    if (ordinary > 1 || (ordinary > 0 && texts > 0) || (ordinary > 0 && embedded > 0)) {
        mixed = MakeContainer("multipart/mixed", "_mixed", nullptr);
        InnerContainer = mixed;
    }
    if (embedded > 0) {
        related = MakeContainer("multipart/related", "_related", mixed);
        InnerContainer = related;
    }
    if (texts > 1) {
        alternative = MakeContainer("multipart/alternative", "_alternative", InnerContainer);
        InnerContainer = alternative;
    }

    // 6.
    auto placeText = [&](TMailPart*& textPart, std::string_view type) {
        if (!textPart) return;
        std::unique_ptr<TMailPart> part = pool.Take(textPart);
        if (!part) return;
        part->DecodeBody();
        if (InnerContainer) {
            part->ParentPart = InnerContainer;
            InnerContainer->SetSubPartBoundary(InnerContainer->Boundary());
            part->SetHeaderValue("Content-Type", type);
            part->SetHeaderValue("Content-Disposition", "inline");
            part->EncodeBody(TextEncoding);
            part->SetHeaderValue("Content-Length", DecimalText(static_cast<long long>(part->RawBody.size())));
            part->ClearSubParts();
            InnerContainer->SubParts.push_back(std::move(part));
            return;
        }
        // The text becomes the message body. Its charset label is kept so the text still reads
        // as what it is.
        std::string charset = part->HeaderParam("Content-Type", "charset");
        SetHeaderValue("Content-Type", type);
        if (!charset.empty()) SetHeaderParam("Content-Type", "charset", Quoted(charset));
        SetHeaderValue("Content-Disposition", "inline");
        DecodedData = std::move(part->DecodedData);
        IsDecoded = true;
        EncodeBody(TextEncoding);
        part.reset();
        textPart = this;
    };
    placeText(PlainTextPart, "text/plain");
    placeText(HtmlTextPart, "text/html");

    // 7.
    for (std::size_t i = 0; i < Attachments.size(); ++i) {
        TMailPart* raw = Attachments[i];
        std::unique_ptr<TMailPart> part = pool.Take(raw);
        if (!part) continue;
        if (!part->HasHeader("Content-Type")) part->SetHeaderValue("Content-Type", OctetStream);
        std::string name = part->AttachmentFileName();
        if (name.empty()) {
            name = Concat({"file_", DecimalText(FileCounter), ExtensionForMimeType(part->HeaderValue("Content-Type"))});
            ++FileCounter;
        }
        const std::string encodedName = QuotedNameWords(name, Charset);
        part->SetHeaderValue("X-Pelmora-Attachment", encodedName);
        if (part->IsEmbedded && related) {
            part->SetHeaderParam("X-Pelmora-Attachment", "embedded", "yes");
            if (EmbedMethod == emContentID) {
                if (!part->HasHeader("Content-ID")) part->SetHeaderValue("Content-ID", "<" + name + ">");
            } else {
                part->SetHeaderValue("Content-Location", ContentLocationBase + PercentEncodeLocation(name));
            }
            part->SetHeaderValue("Content-Disposition", "inline");
            part->ParentPart = related;
            related->SetSubPartBoundary(related->Boundary());
            related->SubParts.push_back(std::move(part));
            continue;
        }
        part->IsEmbedded = false;
        part->SetHeaderParam("X-Pelmora-Attachment", "embedded", "no");
        if (part->HeaderParam("Content-Type", "name").empty())
            SetFileNameParam(*part, "Content-Type", "name", name, Charset);
        // A disposition that holds only parameters would be unreadable; it names the part an
        // attachment.
        if (mixed || part->HeaderValue("Content-Disposition").empty())
            part->SetHeaderValue("Content-Disposition", "attachment");
        if (part->HeaderParam("Content-Disposition", "filename").empty())
            SetFileNameParam(*part, "Content-Disposition", "filename", name, Charset);
        if (mixed) {
            part->ParentPart = mixed;
            mixed->SetSubPartBoundary(mixed->Boundary());
            mixed->SubParts.push_back(std::move(part));
            continue;
        }
        ++HeaderVersion;
        for (const std::string& entry : part->Header()) {
            if (NameStartsWith(entry, "Content-")) HeaderLines.push_back(entry);
        }
        for (const std::string& entry : part->Header()) {
            if (NameStartsWith(entry, "X-Pelmora-")) HeaderLines.push_back(entry);
        }
        part->DecodeBody();
        DecodedData = std::move(part->DecodedData);
        IsDecoded = true;
        EncodeBody(etBase64);
        Attachments[i] = this;
        part.reset();
    }

    // 8. The old containers and whatever was not placed go; none of them is listed in
    // Attachments any more, so only the part references need checking as they go.
    BulkDestroy_ = true;
    pool.Parts.clear();
    BulkDestroy_ = false;
    MixedContainer = mixed;
    RelatedContainer = related;
    AlternativeContainer = alternative;
}

TMailPart* TMailMessage::PutText(std::string_view text, TMailPart* part, std::string_view contentType) {
    TMailPart** ref = nullptr;
    if (part && part == PlainTextPart) ref = &PlainTextPart;
    else if (part && part == HtmlTextPart) ref = &HtmlTextPart;
    else if (!part && contentType == "text/plain") ref = &PlainTextPart;
    else if (!part && contentType == "text/html") ref = &HtmlTextPart;
    if (part) {
        Restructure(RestructureMode::IfStale);
        if (ref) part = *ref;
    } else {
        Restructure(RestructureMode::ForText);
    }
    std::string normalised = NormaliseLineBreaks(text);
    if (!part) {
        if (InnerContainer) {
            std::size_t index = InnerContainer->SubParts.size();
            if (contentType == "text/plain") {
                index = 0;
            } else if (contentType == "text/html") {
                bool plainFirst = !InnerContainer->SubParts.empty() &&
                                  InnerContainer->SubParts.front()->ContentTypeLower() == "text/plain";
                index = plainFirst ? 1 : 0;
            }
            part = InnerContainer->InsertSubPart(index, InnerContainer->Boundary());
        } else {
            part = this;
        }
        if (ref) *ref = part;
    }
    part->DecodedData = std::move(normalised);
    part->IsDecoded = true;
    part->EncodeBody(TextEncoding);
    part->SetHeaderValue("Content-Type", contentType);
    part->SetHeaderParam("Content-Type", "charset", Quoted(LabelForBytes(part->DecodedData, Charset)));
    part->SetHeaderValue("Content-Disposition", "inline");
    part->SetHeaderValue("Content-Length", DecimalText(static_cast<long long>(part->RawBody.size())));
    BodyStale = true;
    return part;
}

void TMailMessage::PutPlainText(std::string_view text) {
    TMailPart* part = PutText(text, PlainTextPart, "text/plain");
    PlainTextLines.Assign(part->DecodedData);
}

void TMailMessage::PutHtmlText(std::string_view text) {
    TMailPart* part = PutText(text, HtmlTextPart, "text/html");
    HtmlTextLines.Assign(part->DecodedData);
}

void TMailMessage::DropText(TMailPart*& textPart, TTextLines& lines) {
    Restructure(RestructureMode::IfStale);
    TMailPart* part = textPart;
    if (part == this) {
        RawBody.clear();
        DecodedData.clear();
        for (std::string_view name : {"Content-Type", "Content-Transfer-Encoding", "Content-Disposition",
                                      "Content-Length", "X-Pelmora-Attachment"})
            RemoveHeader(name);
    } else if (part && part->ParentPart) {
        part->ParentPart->DetachSubPart(part).reset();
    }
    textPart = nullptr;
    lines.clear();
    BodyStale = true;
    Restructure(RestructureMode::Always);
}

void TMailMessage::DropPlainText() { DropText(PlainTextPart, PlainTextLines); }
void TMailMessage::DropHtmlText() { DropText(HtmlTextPart, HtmlTextLines); }

TMimeStatus TMailMessage::AttachFileFrom(const std::string& path, std::string_view contentType,
                                         bool embedded) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return TMimeStatus::Failure("Cannot read attachment " + path + ": not a readable file");
    std::ifstream file(path, std::ios::binary);
    if (!file) return TMimeStatus::Failure("Cannot read attachment " + path + ": " + std::strerror(errno));
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file.bad()) return TMimeStatus::Failure("Cannot read attachment " + path);
    AttachData(bytes.view(), path, embedded, contentType);
    return {};
}

TMailPart* TMailMessage::AttachData(std::string_view bytes, std::string_view fileName, bool embedded,
                                    std::string_view contentType) {
    Restructure(embedded ? RestructureMode::ForEmbedded : RestructureMode::ForAttachment);
    TMailPart* container = embedded ? RelatedContainer : MixedContainer;
    TMailPart* part = container ? container->AddSubPart(container->Boundary()) : this;
    // Only the file's own name goes into the message, never the directory it came from.
    const std::string name(BaseName(fileName));
    const std::string encodedName = QuotedNameWords(name, Charset);
    part->DecodedData.Assign(bytes);
    part->IsDecoded = true;
    part->EncodeBody(AttachEncoding);
    part->SetHeaderValue("Content-Type", contentType.empty() ? MimeTypeForFile(name) : std::string(contentType));
    part->SetHeaderValue("X-Pelmora-Attachment", encodedName);
    part->SetHeaderValue("Content-Length", DecimalText(static_cast<long long>(part->RawBody.size())));
    part->IsEmbedded = embedded;
    if (embedded) {
        part->SetHeaderValue("Content-Disposition", "inline");
        part->SetHeaderParam("X-Pelmora-Attachment", "embedded", "yes");
        if (EmbedMethod == emContentID) {
            part->SetHeaderValue("Content-ID", "<" + name + ">");
        } else {
            part->SetHeaderValue("Content-Location", ContentLocationBase + PercentEncodeLocation(name));
        }
    } else {
        part->SetHeaderValue("Content-Disposition", "attachment");
        SetFileNameParam(*part, "Content-Type", "name", name, Charset);
        SetFileNameParam(*part, "Content-Disposition", "filename", name, Charset);
        part->SetHeaderParam("X-Pelmora-Attachment", "embedded", "no");
    }
    Attachments.push_back(part);
    BodyStale = true;
    return part;
}

TMimeStatus TMailMessage::DropAttachment(int index) {
    Restructure(RestructureMode::IfStale);
    if (index < 0 || index >= static_cast<int>(Attachments.size()))
        return TMimeStatus::Failure(Name + ": Attachment index not found");
    TMailPart* part = Attachments[index];
    Attachments.erase(Attachments.begin() + index);
    if (part == this) {
        for (std::string_view name : {"Content-Type", "Content-Transfer-Encoding", "Content-Disposition",
                                      "Content-Length", "Content-ID", "Content-Location",
                                      "X-Pelmora-Attachment"})
            RemoveHeader(name);
        RawBody.clear();
        DecodedData.clear();
    } else if (part->ParentPart) {
        part->ParentPart->DetachSubPart(part).reset();
    }
    BodyStale = true;
    Restructure(RestructureMode::Always);
    return {};
}

void TMailMessage::BuildBody() {
    if (!BodyStale) return;
    if (!SubParts.empty()) {
        std::string body;
        body.reserve(MultipartPreamble.size() + EmittedSize(*this));
        body += MultipartPreamble;
        EmitSubParts(*this, body);
        RawBody = std::move(body);
    }
    SetHeaderValue("Content-Length", DecimalText(static_cast<long long>(RawBody.size())));
    BodyStale = false;
}

} // namespace pelmora
