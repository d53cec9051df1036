#pragma once
// The two receipt commands of the message list: "Find Receipt of this message" on a row of the
// sent folder lists the project's received receipts and selects the receipt of that message;
// "Find source of receipt" on a row of the received or sent receipts folder lists the sent
// folder or the inbox and selects the message the receipt answers. When nothing is found the
// folder and row shown before are shown again and the failure is reported (ReportFindFailure).
// While a command searches, the trees and the list are disabled and the busy animation runs;
// Esc (AbortRequested) or closing the window ends the search as not found.

namespace pelmora {

class TFolderView;

// Each returns true when a match was found and selected.
bool FindReceiptOfSelectedMessage(TFolderView& view);
bool FindSourceOfSelectedReceipt(TFolderView& view);

} // namespace pelmora
