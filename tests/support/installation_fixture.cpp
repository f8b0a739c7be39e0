#include "support/installation_fixture.h"

#include "install/installation_discovery.h"

void InstallationFixture::makeInstallation(Place place)
{
    home = std::make_unique<TemporaryHome>();
    install = place == Place::userApplications
        ? std::make_unique<StagedInstall>(installDirName, home->filePath(QStringLiteral("Applications")))
        : std::make_unique<StagedInstall>();
}

SetupController& InstallationFixture::startController()
{
    c = std::make_unique<SetupController>();
    return *c;
}

void InstallationFixture::removeInstallation()
{
    c.reset();
    install.reset();
    home.reset();
}
