#include "mime/mail_recipients.h"

#include "mime/encoded_words.h"
#include "mime/mail_message.h"
#include "mime/mime_text.h"

namespace pelmora {

std::vector<TMailAddress> ParseAddressList(std::string_view value) {
    std::vector<TMailAddress> entries;
    std::string collected;
    std::string address;
    bool nameSide = true;
    char closer = 0; // non-zero inside a quoted run
    auto emit = [&] {
        TMailAddress entry;
        if (!address.empty()) {
            entry.Name = DecodeWords(TrimMail(collected));
            entry.Address = std::string(TrimMail(address));
        } else {
            entry.Address = std::string(TrimMail(collected));
        }
        // Empty entries (a trailing or doubled separator) name nobody and are skipped.
        if (!entry.Name.empty() || !entry.Address.empty()) entries.push_back(std::move(entry));
        collected.clear();
        address.clear();
        nameSide = true;
    };
    for (char c : value) {
        if (closer) {
            if (c == closer) {
                closer = 0;
                continue;
            }
            if (!address.empty()) nameSide = true;
            if (nameSide) collected += c;
            continue;
        }
        switch (c) {
        case '"':
        case '(':
            if (nameSide && !collected.empty() && address.empty()) {
                address = std::string(TrimMail(collected));
                collected.clear();
            }
            closer = c == '"' ? '"' : ')';
            break;
        case ',':
        case ';':
            emit();
            break;
        case '<':
            nameSide = false;
            break;
        case '>':
            nameSide = true;
            break;
        default:
            if (nameSide) {
                collected += c;
            } else if (c != ' ') {
                address += c;
            }
            break;
        }
    }
    if (!value.empty()) emit();
    return entries;
}

TMailAddress ParseSenderValue(std::string_view value) {
    enum class TState { Undecided, Name, Address };
    TState state = TState::Undecided;
    std::string undecided;
    std::string name;
    std::string address;
    char closer = 0;
    auto current = [&]() -> std::string& {
        switch (state) {
        case TState::Name: return name;
        case TState::Address: return address;
        default: return undecided;
        }
    };
    for (char c : value) {
        if (closer) {
            if (c == closer) {
                closer = 0;
                state = TState::Address;
            } else {
                current() += c;
            }
            continue;
        }
        if (c == '"' || c == '(') {
            if (state == TState::Undecided) address += undecided;
            state = TState::Name;
            closer = c == '"' ? '"' : ')';
        } else if (c == '<') {
            if (state == TState::Undecided) name += undecided;
            state = TState::Address;
        } else if (c == '>') {
            state = TState::Name;
        } else {
            current() += c;
        }
    }
    if (state == TState::Undecided) address += undecided;
    return {DecodeWords(TrimMail(name)), std::string(TrimMail(address))};
}

std::string FormatAddress(std::string_view name, std::string_view address, std::string_view charset) {
    std::string value;
    std::string_view trimmedName = TrimMail(name);
    if (!trimmedName.empty()) {
        value += '"';
        value += EncodeWord(trimmedName, charset);
        value += "\" ";
    }
    value += '<';
    value += TrimMail(address);
    value += '>';
    return value;
}

std::string CommaText(const std::vector<std::string>& items) {
    if (items.size() == 1 && items.front().empty()) return "\"\"";
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += ',';
        const std::string& item = items[i];
        bool quote = false;
        for (char c : item) {
            if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == ',') {
                quote = true;
                break;
            }
        }
        if (!quote) {
            text += item;
            continue;
        }
        text += '"';
        for (char c : item) {
            if (c == '"') text += '"';
            text += c;
        }
        text += '"';
    }
    return text;
}

TMailRecipients::TMailRecipients(TMailMessage& owningMessage, std::string headerName)
    : OwningMessage(&owningMessage), HeaderName(std::move(headerName)) {}

std::string TMailRecipients::CurrentHeaderText() const {
    std::string text;
    for (int n = 0;; ++n) {
        int index = OwningMessage->FindHeader(HeaderName, n);
        if (index < 0) break;
        text += OwningMessage->HeaderLines[index];
        text += '\n';
    }
    return text;
}

void TMailRecipients::Refresh() const {
    std::string current = CurrentHeaderText();
    if (Parsed_ && current == ParsedFrom_) return;
    Names_.clear();
    Addresses_.clear();
    for (int n = 0;; ++n) {
        int index = OwningMessage->FindHeader(HeaderName, n);
        if (index < 0) break;
        std::string_view entry = OwningMessage->HeaderLines[index];
        for (TMailAddress& item : ParseAddressList(entry.substr(HeaderName.size() + 1))) {
            Names_.push_back(std::move(item.Name));
            Addresses_.push_back(std::move(item.Address));
        }
    }
    ParsedFrom_ = std::move(current);
    Parsed_ = true;
}

int TMailRecipients::Count() const {
    Refresh();
    return static_cast<int>(Addresses_.size());
}

std::string TMailRecipients::NameAt(int i) const {
    Refresh();
    return i >= 0 && i < static_cast<int>(Names_.size()) ? Names_[i] : std::string();
}

std::string TMailRecipients::AddressAt(int i) const {
    Refresh();
    return i >= 0 && i < static_cast<int>(Addresses_.size()) ? Addresses_[i] : std::string();
}

std::string TMailRecipients::NamesCommaText() const {
    Refresh();
    return CommaText(Names_);
}

std::string TMailRecipients::AddressesCommaText() const {
    Refresh();
    return CommaText(Addresses_);
}

const std::vector<std::string>& TMailRecipients::Names() const {
    Refresh();
    return Names_;
}

const std::vector<std::string>& TMailRecipients::Addresses() const {
    Refresh();
    return Addresses_;
}

void TMailRecipients::Add(std::string_view name, std::string_view address) {
    Refresh();
    Names_.emplace_back(name);
    Addresses_.emplace_back(address);
    WriteHeader();
}

void TMailRecipients::Clear() {
    Names_.clear();
    Addresses_.clear();
    WriteHeader();
}

void TMailRecipients::WriteHeader() {
    OwningMessage->RemoveHeader(HeaderName);
    if (!Addresses_.empty()) {
        std::string value;
        for (std::size_t i = 0; i < Addresses_.size(); ++i) {
            if (i > 0) value += ", ";
            value += FormatAddress(Names_[i], Addresses_[i], OwningMessage->Charset);
        }
        OwningMessage->SetHeaderValue(HeaderName, value);
    }
    ParsedFrom_ = CurrentHeaderText();
    Parsed_ = true;
}

} // namespace pelmora
