#pragma once
// TAttachmentList: the list of a message's attached files as the attachments window shows
// it (one row per attachment that is not embedded), with adding, removing, saving to a folder
// and writing a file for opening. Names come from the sender and are made safe before any
// file is written; an existing file is never replaced without asking. Files written for
// opening go into a private directory (mode 0700, files 0600) given by the opener.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {
class TMailMessage;
class TMailPart;
class TUiServices;
} // namespace pelmora

namespace pelmora::compose {

class TAttachmentList {
public:
    // `message` is not owned and must outlive the list; `openDir` ends in "/" (may be empty:
    // nothing can be opened then).
    TAttachmentList(TMailMessage& message, std::string openDir, bool readOnly);

    bool ReadOnly() const { return ReadOnlyList; }
    // An attachment was added or removed.
    bool Changed() const { return ChangedList; }

    // Row texts: the attachment's file name, or the full path of a file added here.
    std::vector<std::string> Rows() const;
    int Count() const;

    // Attaches the files that exist, in order; returns how many were added.
    int Add(const std::vector<std::string>& paths);
    // Removes the attachments of the given rows.
    void Remove(std::vector<int> rows);

    // The name a row's attachment is saved under: its own file name, made safe.
    std::string SafeName(int row) const;
    // Writes the row's attachment into `folder`. When a file of its name exists, `ui` is asked
    // whether to save under a free numbered name instead ("name (2).ext"); No skips it.
    // Returns the written path, or std::nullopt when skipped or failed.
    std::optional<std::string> SaveRow(int row, const std::string& folder, TUiServices& ui);
    // Writes the row's attachment for opening (a name without extension gets ".txt"). Types
    // that would run code are asked about first, naming the type. std::nullopt when declined
    // or when the file cannot be written.
    std::optional<std::string> FileForOpening(int row, TUiServices& ui);

private:
    TMailPart* PartOf(int row) const;
    std::vector<TMailPart*> Listed() const;

    TMailMessage& Message; // Not owned.
    std::string OpenDir;
    bool ReadOnlyList = false;
    bool ChangedList = false;
    // The row texts, kept beside the rows (parts may be rebuilt when the message changes).
    std::vector<std::string> RowTexts;
    int OpenCounter = 0;
};

} // namespace pelmora::compose
