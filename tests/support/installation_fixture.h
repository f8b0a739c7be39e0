#pragma once

#include "setup/setup_controller.h"
#include "support/test_support.h"

#include <memory>

// For test classes: a temporary home with an install folder in it and, once
// started, a controller running from that folder. Torn down in reverse order.
class InstallationFixture {
protected:
    // Where the install folder is made: a temporary folder of its own, or the
    // home's "Applications" folder (a per-user installation).
    enum class Place { temporaryFolder, userApplications };

    void makeInstallation(Place place = Place::temporaryFolder);
    SetupController& startController();
    void removeInstallation();

    std::unique_ptr<TemporaryHome> home;
    std::unique_ptr<StagedInstall> install;
    std::unique_ptr<SetupController> c;
};
