#pragma once
// TMailRecipients: the entries of one address header ("To", "Cc" or "Bcc") of a message as
// parallel lists of display names and addresses. The lists follow the header: whenever the
// header text changed since they were read (by any means) they are read again. Every accessor
// compares the header text with the copy it was read from, so loops over many entries should
// take Names() or Addresses() once.

#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

class TMailMessage;

struct TMailAddress {
    std::string Name;
    std::string Address;
    bool operator==(const TMailAddress&) const = default;
};

// Splits an address-list header value into (name, address) entries.
std::vector<TMailAddress> ParseAddressList(std::string_view value);

// Reads one (name, address) pair of a sender-like header value.
TMailAddress ParseSenderValue(std::string_view value);

// "\"" EncodeWord(name) "\" <address>", "<address>" alone when the name is empty.
std::string FormatAddress(std::string_view name, std::string_view address,
                          std::string_view charset);

// The usual list form: items joined by ","; an item holding a space, a control character, a
// double quote or a comma is double-quoted with inner quotes doubled.
std::string CommaText(const std::vector<std::string>& items);

class TMailRecipients {
public:
    TMailRecipients(TMailMessage& owningMessage, std::string headerName);
    TMailRecipients(const TMailRecipients&) = delete;
    TMailRecipients& operator=(const TMailRecipients&) = delete;

    TMailMessage* OwningMessage; // Not owned: the message owns this list.
    const std::string HeaderName;

    int Count() const;
    std::string NameAt(int i) const;
    std::string AddressAt(int i) const;
    std::string NamesCommaText() const;
    std::string AddressesCommaText() const;
    const std::vector<std::string>& Names() const;
    const std::vector<std::string>& Addresses() const;

    // Appends one entry and rewrites the header.
    void Add(std::string_view name, std::string_view address);
    // Empties both lists and removes every entry of the header.
    void Clear();

private:
    void Refresh() const;
    void WriteHeader();
    std::string CurrentHeaderText() const;

    mutable std::vector<std::string> Names_;
    mutable std::vector<std::string> Addresses_;
    mutable std::string ParsedFrom_; // change marker: the header text the lists were read from
    mutable bool Parsed_ = false;
};

} // namespace pelmora
