// Installation discovery: where the program stands, its agent, and an existing registration, on real files and links.
#include "halden_test.h"

#include "install/launch_agent_registration.h"

class DiscoveryTest : public HaldenTest {
    Q_OBJECT

private slots:
    void discovery_data()
    {
        fileSystemColumns();
        row("install folder", "", "install", "~/Applications/Tervan Halden Beta AGENT");
        row("install folder of another case",
            "INSTALL=~/Applications/'tervan halden beta' && mv ~/Applications/T* \"$INSTALL\"", "install", "none");
        row("agent not executable", "chmod -x \"$AGENT\"", "install", "~/Applications/Tervan Halden Beta none");
        row("agent a folder", "rm \"$AGENT\"; mkdir \"$AGENT\"", "install", "~/Applications/Tervan Halden Beta none");
        row("other processor's agent", "mv \"$AGENT\" \"$OTHER\"", "install", "~/Applications/Tervan Halden Beta none");
        row("a number among the arguments", "mkdir p", "found 1 --allow-root ~/p", "none");
        row("registered, by a link", "mkdir p; ln -s p 'my prøject'", "found /agent -v --allow-root \"~/my prøject/\"",
            "~/my prøject");
        row("switch last", "", "found /agent --allow-root", "none");
        row("joined with =", "mkdir p", "found --allow-root=~/p", "none");
        row("first names a file", "touch f; mkdir p", "found --allow-root ~/f --allow-root ~/p", "none");
        row("relative", "mkdir p", "found --allow-root p", "none");
        row("over the size limit", "mkdir p", "found-huge --allow-root ~/p", "none");
        // Started through a link to it in another folder that points through a link to its folder: the link to the
        // program followed, the one to its folder kept; asked afresh once its folder was renamed.
        row("bundle, started through links",
            "mkdir -p real/B && cp \"$PROGRAM\" real/B && ln -s real linked && ln -s \"linked/B/${PROGRAM##*/}\" p && "
            "PROGRAM=~/p",
            "bundle mv real/B 'real/B 2'", "~/linked/B ~/real/B 2");
        // The library aborts if asked naively.
        row("NUL in a string", "mkdir 'pü'", "found-binary --allow-root ~/pü", "none");
        // A reader that waited for a writer would hang the start-up.
        row("registration a FIFO",
            "mkdir -p Library/LaunchAgents && mkfifo \"Library/LaunchAgents/com.tervan.local-agent.plist\"", "found",
            "none");
    }

    void discovery() { fileSystem(); }
};

QTEST_MAIN(DiscoveryTest)
#include "test_discovery.moc"
