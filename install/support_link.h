#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// The "mailto:" link of the support address with the set-up subject; none
// when the address does not make a valid URL.
std::optional<QUrl> supportMailUrl(const QString& address);
