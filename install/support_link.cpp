#include "install/support_link.h"

#include "install/setup_texts.h"

std::optional<QUrl> supportMailUrl(const QString& address)
{
    const QUrl mail(QStringLiteral("mailto:") + address + SetupTexts::supportMailSubject, QUrl::StrictMode);
    if (!mail.isValid() || address.isEmpty())
        return std::nullopt;
    return mail;
}
