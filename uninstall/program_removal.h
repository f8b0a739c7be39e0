#pragma once

#include "platform/file_removal.h"

#include <QDir>
#include <QHashFunctions>
#include <QString>
#include <exception>
#include <functional>
#include <optional>

// An error the user sees: its sentence is the description; the other parts of
// a localized error are empty.
class LocalizedError : public std::exception {
public:
    virtual QString errorDescription() const = 0;
    std::optional<QString> failureReason() const { return std::nullopt; }
    std::optional<QString> recoverySuggestion() const { return std::nullopt; }
    std::optional<QString> helpAnchor() const { return std::nullopt; }
    const char* what() const noexcept override;

private:
    mutable QByteArray whatText;
};

class ProgramRemovalError final : public LocalizedError {
public:
    enum Case { unsupportedLocation, cancelled, incomplete };

    explicit ProgramRemovalError(Case which)
        : which(which)
    {
    }
    Case errorCase() const { return which; }
    QString errorDescription() const override;
    friend bool operator==(const ProgramRemovalError& a, const ProgramRemovalError& b) { return a.which == b.which; }
    friend size_t qHash(const ProgramRemovalError& error, size_t seed = 0) noexcept
    {
        return qHash(int(error.which), seed);
    }

private:
    Case which;
};

// A per-user install folder could not be deleted, or would not have been deleted
// completely and so was not touched; the sentence names the item that stopped it.
class FileRemovalError final : public LocalizedError {
public:
    explicit FileRemovalError(QString message)
        : message(std::move(message))
    {
    }
    QString errorDescription() const override { return message; }

private:
    QString message;
};

// How the application files of this installation are removed, decided before
// anything is changed and carried out after the local agent is gone.
class ProgramRemoval {
public:
    enum class Kind { user, shared };
    // Takes the script text; returns on success, throws a LocalizedError otherwise.
    using PrivilegedStep = std::function<void(const QString& script)>;

    // The per-user install folder "~/Applications/Tervan Halden Beta",
    // standardized; removed with the user's own rights. The folder found at
    // that path now is the one a later removal deletes, and no other.
    static ProgramRemoval user(const QString& installFolder);
    // "/Applications/Tervan Halden Beta", removed by the administrator script.
    static ProgramRemoval shared() { return ProgramRemoval(Kind::shared, QString(), {}); }

    Kind kind() const { return which; }
    // The standardized install folder of a `user` removal; empty for `shared`.
    const QString& userFolder() const { return folder; }
    friend bool operator==(const ProgramRemoval&, const ProgramRemoval&) = default;

    static const QString& sharedDirectory();
    // A folder of the test's own as the shared one, whose removal then asks
    // the privilege helper (also the test's) for approval.
    static void setSharedDirectoryForTesting(std::optional<QString> folder);
    static const QString& administratorScript();

    // Classifies an install folder; throws ProgramRemovalError(unsupportedLocation)
    // for anything but the two supported places, a symbolic link, or a per-user
    // path that leads to the shared folder. Only reads.
    static ProgramRemoval plan(const QString& installFolder, const QString& home = QDir::homePath());

    // Removes the application files. A `user` folder that is already gone is
    // success; a link inside it is removed, never followed. A `user` folder
    // that is not named `installDirName`, is reached through a link or is not
    // the folder planned is refused with unsupportedLocation, untouched. One
    // that could not be deleted completely (a mount inside, a locked entry, a
    // folder the user may not change) is left whole: FileRemovalError.
    void remove(const PrivilegedStep& authorize = &ProgramRemoval::authorize) const;

    // Runs the script with administrator rights and waits; throws
    // ProgramRemovalError(cancelled) or (incomplete).
    static void authorize(const QString& script);

private:
    ProgramRemoval(Kind which, QString folder, platform::PinnedFolder pinned)
        : which(which)
        , folder(std::move(folder))
        , pinned(std::move(pinned))
    {
    }

    void removeUserFolder() const;

    Kind which;
    QString folder;
    platform::PinnedFolder pinned;
};
