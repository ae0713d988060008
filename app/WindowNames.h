#pragma once
#include "app/RecentFolders.h"

#include <QString>

namespace quillon {

// The names the window's parts share: the user-defaults keys the window
// writes and the tags and segments its .ui files and segmented controls
// carry. QuillonAppDelegate derives from it, so QuillonAppDelegate::ConvertSegment
// and the like read as before.
struct WindowNames {
    static inline const QString kShowSettingsKey = QStringLiteral("SHOWSETTINGS");
    static inline const QString kRecentItemsKey = RecentFolders::kKey;
    static inline const QString kIncludeSubfoldersKey = QStringLiteral("INCLUDESUBFOLDERS");
    static inline const QString kLicenseAcceptedKey = QStringLiteral("LICENSEAGREEMENTACCEPTED");
    static inline const QString kColumnLayoutKey = QStringLiteral("FILELISTCOLUMNS");

    // The "tag" of the list commands' menu items and buttons.
    enum ListCommandTag { SelectAllRows = 1, SelectFirstRow = 2, RemoveAllRows = 3, RemoveSelectedRows = 4 };
    enum CheckMarkTag { CheckRows = 1, UncheckRows = 2, InvertRows = 3 };
    // The "tag" of the number fields with the digits-only rule: the group
    // size (empty gives 2) and the page-selection steps (empty gives 1).
    enum NumberFieldTag { GroupSizeField = 30001, PageStepField = 30002 };

    enum FilesFoldersSegment { AddFilesSegment, RemoveSegment, SubfoldersSegment, ImportSegment, ExportSegment, LogsSegment };
    enum NavigationSegment { MoveUpSegment, MoveDownSegment, RemoveAllSegment };
    enum CommandSegment { OutputSettingsSegment, ConvertSegment };
    enum HelpSegment { WebsiteSegment, HelpSegment, RateSegment };
};

} // namespace quillon
