#pragma once
#include "app/DesktopIntegration.h"

#include <QString>

#include <functional>

class QSettings;

namespace quillon {

// What the window's controller touches outside itself; tests inject their own.
struct QuillonAppEnvironment {
    QSettings *store = nullptr;          // user defaults; quillon::userDefaults() when null
    DesktopIntegration desktop;          // DesktopIntegration::system() when openUrl is empty
    // The first-start licence agreement, application-modal; true = agreed.
    std::function<bool()> runLicenseAgreement;
    // Where the usage store keeps "Usages.Log"; the support folder when empty.
    QString supportFolder;
    // Whether the program may write into a folder; access(2) when empty.
    std::function<bool(const QString &)> isWritableFolder;
};

} // namespace quillon
