#pragma once

namespace quillon {

// Everything the window's commands are enabled by, gathered in one value;
// QuillonAppDelegate::applyCommandState() turns it into the enabled state of
// every menu item, segment and button. The rules are these functions.
struct CommandState {
    bool viewEnabled = true; // false while a file-adding job or a run has the window
    bool loading = false;    // a file-adding job works
    bool running = false;    // a run has the window, from Convert until its sheet closes
    int rows = 0;
    int selectionFirst = -1; // first and last selected rows; -1 without a selection
    int selectionLast = -1;
    bool selectionHasMultiPage = false; // a selected row is a TIFF (pages can be chosen)
    int filesToCreate = 0;              // by the combine mode and the checked rows

    bool hasFiles() const { return rows > 0; }
    bool hasSelection() const { return selectionFirst >= 0; }
    bool canMoveUp() const { return viewEnabled && hasSelection() && selectionFirst != 0; }
    bool canMoveDown() const { return viewEnabled && hasSelection() && selectionLast != rows - 1; }
    bool canConvert() const { return viewEnabled && !running && filesToCreate > 0; }
    // Remove All, Export, check or select all rows.
    bool canActOnList() const { return viewEnabled && hasFiles(); }
    // Remove, open, show, check the selected rows.
    bool canActOnSelection() const { return viewEnabled && hasSelection(); }
    bool canChoosePages() const { return viewEnabled && selectionHasMultiPage; }
};

} // namespace quillon
