#pragma once
// TMailRecipients: the entries of one address header ("To", "Cc" or "Bcc") of a message as
// parallel lists of display names and addresses. The lists follow the header: whenever the
// header changed since they were read they are read again. The change check costs the same
// whatever the header holds (the message's HeaderVersion, the place and length of its header
// lines and of the first entry of the header), so a loop over Count()/NameAt()/AddressAt()
// parses the header once and is linear in the number of recipients. The entries are kept
// in one text of the list's own, written as a message list shows them ("name (address)",
// joined by "; "), so that the listing is made while the header is read; the std::string
// forms that NameAt, AddressAt, Names and Addresses hand out are made from it the first time
// one of them is asked for.

#include <cstdint>
#include <memory>
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

// EncodePhrase(name) " <address>", "<address>" alone when the name is empty.
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
    // The entry's name and address; an index out of range reads as empty. The reference
    // stays valid until the list changes (Add, Clear, or a change of the header).
    const std::string& NameAt(int i) const;
    const std::string& AddressAt(int i) const;
    // The same as views into the list's own text, made without a copy; valid until the list
    // changes.
    std::string_view NameView(int i) const;
    std::string_view AddressView(int i) const;
    // The entries as a message list shows them: "name (address)", or the address alone when
    // the name is empty or white space, joined by "; ". The view is valid until the list
    // changes.
    std::string_view ListingView() const;
    std::string ListingText() const;
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
    void AppendEntry(std::string_view name, std::string_view address) const;
    void MakeStrings() const;
    void WriteHeader();
    struct TMarker {
        std::uint64_t Version = 0;
        const void* Lines = nullptr;
        std::size_t LineCount = 0;
        const void* FirstEntry = nullptr;
        std::size_t FirstEntrySize = 0;
        bool operator==(const TMarker&) const = default;
    };
    TMarker CurrentMarker() const;

    // An entry in Arena_: its name at Begin, then " (" address ")", or the address alone at
    // Begin when the name is empty.
    struct TEntry {
        std::size_t Begin;
        std::size_t NameSize;
        std::size_t AddressSize;
        std::size_t AddressBegin() const { return NameSize == 0 ? Begin : Begin + NameSize + 2; }
    };
    mutable std::vector<TEntry> Entries_;
    // The entries' text: the first ArenaSize_ of ArenaRoom_ bytes at Arena_, left unfilled
    // until written, so that an entry is written with plain copies.
    mutable std::unique_ptr<char[]> Arena_;
    mutable std::size_t ArenaRoom_ = 0;
    mutable std::size_t ArenaSize_ = 0;
    std::string_view ArenaView() const { return {Arena_.get(), ArenaSize_}; }
    void ReserveArena(std::size_t bytes) const;
    mutable std::vector<std::string> Names_;     // made from Arena_ when first asked for
    mutable std::vector<std::string> Addresses_;
    mutable bool StringsMade_ = false;
    mutable TMarker ParsedFrom_; // change marker: the state of the header the lists were read from
    mutable bool Parsed_ = false;
};

} // namespace pelmora
