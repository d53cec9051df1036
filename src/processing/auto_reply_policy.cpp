#include "processing/auto_reply_policy.h"

#include "mime/mail_message.h"
#include "paramtree/text_util.h"
#include "processing/answering_machine.h"
#include "processing/receipts.h"
#include "store/store_layout.h"

#include <algorithm>
#include <array>

namespace pelmora {
namespace {

constexpr size_t kMaxLocalPart = 64;
constexpr size_t kMaxAddress = 254;
// A References chain longer than this keeps its first identifier and the newest ones.
constexpr size_t kMaxReferences = 20;

bool IsAtext(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("!#$%&'*+-/=?^_`{|}~").find(static_cast<char>(c)) !=
           std::string_view::npos;
}

// dot-atom: atoms of atext joined by single dots.
bool IsDotAtom(std::string_view text) {
    if (text.empty() || text.front() == '.' || text.back() == '.')
        return false;
    char previous = 0;
    for (char c : text) {
        if (c == '.' && previous == '.')
            return false;
        if (c != '.' && !IsAtext(static_cast<unsigned char>(c)))
            return false;
        previous = c;
    }
    return true;
}

bool IsDomain(std::string_view domain) {
    size_t labels = 0;
    size_t start = 0;
    while (start <= domain.size()) {
        size_t end = domain.find('.', start);
        if (end == std::string_view::npos)
            end = domain.size();
        std::string_view label = domain.substr(start, end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        for (char c : label) {
            const auto u = static_cast<unsigned char>(c);
            const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                               (u >= '0' && u <= '9') || u == '-';
            if (!plain && u < 0x80)
                return false;
        }
        ++labels;
        start = end + 1;
    }
    return labels >= 2;
}

bool HasNonNoValue(const TMailMessage& message, std::string_view header) {
    for (int n = 0;; ++n) {
        const int index = message.FindHeader(header, n);
        if (index < 0)
            return false;
        // The keyword ends at the first blank, comment or parameter.
        std::string value =
            LowerAscii(Trim(std::string_view(message.HeaderLines[static_cast<size_t>(index)])
                                .substr(header.size() + 1)));
        const size_t end = value.find_first_of(" \t(;");
        if (end != std::string::npos)
            value.resize(end);
        if (value != "no")
            return true;
    }
}

bool HasBulkPrecedence(const TMailMessage& message) {
    std::string value = LowerAscii(Trim(message.HeaderValue("Precedence")));
    const size_t end = value.find_first_of(" \t(");
    if (end != std::string::npos)
        value.resize(end);
    return value == "bulk" || value == "list" || value == "junk";
}

bool IsListMessage(const TMailMessage& message) {
    for (std::string_view header : {"List-Id", "List-Unsubscribe", "List-Post", "Mailing-List"}) {
        if (message.HasHeader(header))
            return true;
    }
    return false;
}

// "X-Auto-Response-Suppress: DR, OOF, AutoReply": "All", "OOF" or "AutoReply" among the
// comma-separated words.
bool SuppressesAutoReplies(const TMailMessage& message) {
    const std::string value = LowerAscii(message.HeaderText("X-Auto-Response-Suppress"));
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(',', start);
        if (end == std::string::npos)
            end = value.size();
        const std::string word = Trim(std::string_view(value).substr(start, end - start));
        if (word == "all" || word == "oof" || word == "autoreply")
            return true;
        start = end + 1;
    }
    return false;
}

bool IsReport(const TMailMessage& message) {
    const std::string type = Trim(message.ContentTypeLower());
    for (std::string_view report :
         {"multipart/report", "message/delivery-status", "message/disposition-notification",
          "message/feedback-report"}) {
        if (type.rfind(report, 0) == 0)
            return true;
    }
    return IsReceipt(message);
}

// "Return-Path: <>" (or an empty one): the message came with the null envelope sender, which
// marks bounces and other automatic mail.
bool HasNullReturnPath(const TMailMessage& message) {
    if (!message.HasHeader("Return-Path"))
        return false;
    std::string value = Trim(message.HeaderText("Return-Path"));
    value.erase(
        std::remove_if(value.begin(), value.end(), [](char c) { return c == ' ' || c == '\t'; }),
        value.end());
    return value.empty() || value == "<>";
}

bool SameAddress(std::string_view a, std::string_view b) {
    return !a.empty() && LowerAscii(Trim(a)) == LowerAscii(Trim(b));
}

bool IsOwnAddress(std::string_view address, const TAutoReplyContext& context) {
    return std::any_of(context.OwnAddresses.begin(), context.OwnAddresses.end(),
                       [&](const std::string& own) { return SameAddress(own, address); });
}

} // namespace

std::string_view AutoReplyVerdictText(TAutoReplyVerdict verdict) {
    switch (verdict) {
    case TAutoReplyVerdict::Allowed:
        return "allowed";
    case TAutoReplyVerdict::FiledInTrash:
        return "filed in the trash";
    case TAutoReplyVerdict::AnswerToAnswer:
        return "reply to an automatic answer";
    case TAutoReplyVerdict::AutoSubmitted:
        return "automatic mail";
    case TAutoReplyVerdict::BulkPrecedence:
        return "bulk mail";
    case TAutoReplyVerdict::MailingList:
        return "mailing list";
    case TAutoReplyVerdict::SuppressRequested:
        return "automatic replies not wanted";
    case TAutoReplyVerdict::Report:
        return "delivery report or receipt";
    case TAutoReplyVerdict::NullSender:
        return "no sender";
    case TAutoReplyVerdict::MachineSender:
        return "sent by a machine";
    case TAutoReplyVerdict::OwnAddress:
        return "own address";
    case TAutoReplyVerdict::NoRecipient:
        return "no valid address";
    case TAutoReplyVerdict::ReturnPathDiffers:
        return "receipt asked for another address";
    case TAutoReplyVerdict::AnsweredRecently:
        return "answered within the last 7 days";
    case TAutoReplyVerdict::NotRecorded:
        return "answer could not be recorded";
    }
    return "refused";
}

bool IsValidMailAddress(std::string_view address) {
    if (address.empty() || address.size() > kMaxAddress)
        return false;
    const size_t at = address.rfind('@');
    if (at == std::string_view::npos || at == 0)
        return false;
    const std::string_view local = address.substr(0, at);
    if (local.size() > kMaxLocalPart || !IsDotAtom(local))
        return false;
    return IsDomain(address.substr(at + 1));
}

std::optional<TMailAddress> FirstValidAddress(std::string_view headerText) {
    for (TMailAddress& entry : ParseAddressList(headerText)) {
        entry.Address = Trim(entry.Address);
        if (IsValidMailAddress(entry.Address))
            return std::move(entry);
    }
    return std::nullopt;
}

bool IsMachineAddress(std::string_view address) {
    const size_t at = address.rfind('@');
    std::string local = LowerAscii(Trim(address.substr(0, at)));
    // "noreply+abc@", "bounces+123-x@": the part before a sub-address tag decides.
    const size_t plus = local.find('+');
    if (plus != std::string::npos && plus > 0)
        local.resize(plus);
    constexpr std::array<std::string_view, 5> exact = {"mailer-daemon", "mailerdaemon",
                                                       "postmaster", "listserv", "majordomo"};
    constexpr std::array<std::string_view, 8> prefixes = {
        "noreply",      "no-reply",     "no_reply", "donotreply",
        "do-not-reply", "do_not_reply", "owner-",   "bounce"};
    constexpr std::array<std::string_view, 4> suffixes = {"-request", "-owner", "-bounces",
                                                          "-bounce"};
    for (std::string_view name : exact) {
        if (local == name)
            return true;
    }
    for (std::string_view prefix : prefixes) {
        if (local.rfind(prefix, 0) == 0)
            return true;
    }
    for (std::string_view suffix : suffixes) {
        if (local.size() > suffix.size() && local.ends_with(suffix))
            return true;
    }
    return false;
}

std::string SafeDisplayName(std::string_view name) {
    std::string safe;
    bool blank = false;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || c == '"' || c == '\\' || c == '<' || c == '>' || c == ' ') {
            blank = !safe.empty();
            continue;
        }
        if (blank)
            safe += ' ';
        blank = false;
        safe += c;
    }
    return safe;
}

TAutoReplyVerdict CheckAutomaticReply(const TMailMessage& incoming, std::string_view recipient,
                                      const TAutoReplyContext& context) {
    if (context.FiledFolder == kFolderTrash)
        return TAutoReplyVerdict::FiledInTrash;
    if (IsAnswerToAnswer(incoming))
        return TAutoReplyVerdict::AnswerToAnswer;
    if (HasNonNoValue(incoming, "Auto-Submitted"))
        return TAutoReplyVerdict::AutoSubmitted;
    if (HasBulkPrecedence(incoming))
        return TAutoReplyVerdict::BulkPrecedence;
    if (IsListMessage(incoming))
        return TAutoReplyVerdict::MailingList;
    if (SuppressesAutoReplies(incoming))
        return TAutoReplyVerdict::SuppressRequested;
    if (IsReport(incoming))
        return TAutoReplyVerdict::Report;
    const std::optional<TMailAddress> from = FirstValidAddress(incoming.HeaderText("From"));
    if (HasNullReturnPath(incoming) || !from)
        return TAutoReplyVerdict::NullSender;
    const std::optional<TMailAddress> returnPath =
        FirstValidAddress(incoming.HeaderText("Return-Path"));
    const std::optional<TMailAddress> sender = FirstValidAddress(incoming.HeaderText("Sender"));
    if (IsMachineAddress(from->Address) || IsMachineAddress(recipient) ||
        (returnPath && IsMachineAddress(returnPath->Address)) ||
        (sender && IsMachineAddress(sender->Address)))
        return TAutoReplyVerdict::MachineSender;
    if (!IsValidMailAddress(Trim(recipient)))
        return TAutoReplyVerdict::NoRecipient;
    if (IsOwnAddress(from->Address, context) || IsOwnAddress(recipient, context))
        return TAutoReplyVerdict::OwnAddress;
    return TAutoReplyVerdict::Allowed;
}

TAutoReplyVerdict CheckAutomaticReceipt(const TMailMessage& incoming, std::string_view recipient,
                                        const TAutoReplyContext& context) {
    const TAutoReplyVerdict verdict = CheckAutomaticReply(incoming, recipient, context);
    if (verdict != TAutoReplyVerdict::Allowed)
        return verdict;
    const std::optional<TMailAddress> returnPath =
        FirstValidAddress(incoming.HeaderText("Return-Path"));
    if (returnPath && !SameAddress(returnPath->Address, recipient))
        return TAutoReplyVerdict::ReturnPathDiffers;
    return TAutoReplyVerdict::Allowed;
}

std::string FirstMessageId(std::string_view headerText) {
    const size_t open = headerText.find('<');
    if (open == std::string_view::npos)
        return {};
    const size_t close = headerText.find('>', open);
    if (close == std::string_view::npos || close == open + 1)
        return {};
    std::string id(headerText.substr(open, close - open + 1));
    // An identifier holds no blanks or control characters.
    for (char c : id) {
        if (static_cast<unsigned char>(c) <= ' ')
            return {};
    }
    return id;
}

std::string ReferencesForAnswer(std::string_view references, std::string_view messageId) {
    const std::string parent = FirstMessageId(messageId);
    if (parent.empty())
        return {};
    std::vector<std::string> ids;
    size_t from = 0;
    while (true) {
        const size_t open = references.find('<', from);
        if (open == std::string_view::npos)
            break;
        const size_t close = references.find('>', open);
        if (close == std::string_view::npos)
            break;
        std::string id = FirstMessageId(references.substr(open, close - open + 1));
        if (!id.empty() && id != parent && std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(std::move(id));
        from = close + 1;
    }
    if (ids.size() >= kMaxReferences)
        ids.erase(ids.begin() + 1, ids.end() - static_cast<std::ptrdiff_t>(kMaxReferences - 2));
    ids.push_back(parent);
    std::string text;
    for (const std::string& id : ids) {
        if (!text.empty())
            text += ' ';
        text += id;
    }
    return text;
}

} // namespace pelmora
