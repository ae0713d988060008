#pragma once
#include "widgets/HyperlinkButton.h"

#include <QString>
#include <QStringList>

// The user guide, a PDF generated at build time: "MACQuillon2.pdf" for edition 2,
// "MACQuillon1.pdf" for edition 1. It is installed beside the programs' share
// folder (<prefix>/share/quillon-converter) and sits there in the build tree too.
namespace quillon {

// "MACQuillon1.pdf" for edition 1, "MACQuillon2.pdf" otherwise.
QString helpDocumentName(int edition);

// Folders searched, in order: the executable's own folder, then
// <executable folder>/../share/quillon-converter. Needs a QCoreApplication.
QStringList helpDocumentFolders();

// Full path of the edition's guide in the first folder that holds it, or the
// empty text when none does.
QString helpDocumentPath(int edition, const QStringList &folders = helpDocumentFolders());

// Opens the edition's guide with the desktop's PDF viewer (or with opener).
// A missing guide, or one no application takes, writes
// "Error in [helpAction:] : <reason>" to the system log and opens nothing.
// Returns whether the guide was handed to a viewer.
bool helpAction(int edition, const HyperlinkButton::UrlOpener &opener = {},
                const QStringList &folders = helpDocumentFolders());

} // namespace quillon
