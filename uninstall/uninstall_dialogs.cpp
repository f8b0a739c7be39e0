#include "uninstall/uninstall_dialogs.h"

#include "setup/modal_dialog.h"
#include "uninstall/uninstall_texts.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

constexpr int textWidth = 460;
// The final notice's sentence takes two or three lines at the desktop font
// sizes people use; the message box on its own would wrap it into five.
constexpr int noticeTextWidth = 400;

} // namespace

QString uninstallConfirmationText(const ProgramRemoval& plan)
{
    const QString& planSentence = plan.kind() == ProgramRemoval::Kind::shared ? UninstallTexts::sharedPlanSentence
                                                                              : UninstallTexts::userPlanSentence;
    return UninstallTexts::confirmationStart + planSentence + UninstallTexts::confirmationEnd;
}

UninstallConfirmation::UninstallConfirmation(const QString& informativeText, bool historyAvailable, QWidget* parent)
    : QDialog(parent)
    , removeCredentials(new QCheckBox(UninstallTexts::removeCredentialsTitle))
    , removeHistory(new QCheckBox(UninstallTexts::removeHistoryTitle))
{
    setObjectName(QStringLiteral("uninstallConfirmation"));
    setWindowTitle(UninstallTexts::confirmationMessage);
    setWindowModality(Qt::ApplicationModal);

    auto* message = new QLabel(UninstallTexts::confirmationMessage);
    message->setObjectName(QStringLiteral("message"));
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    auto* information = new QLabel(informativeText);
    information->setObjectName(QStringLiteral("informativeText"));
    information->setWordWrap(true);
    information->setFixedWidth(textWidth);
    // A fixed-size dialog asks its labels for their plain size hint, which
    // knows nothing of wrapping: give the paragraph the height it needs.
    information->setMinimumHeight(information->heightForWidth(textWidth));

    removeCredentials->setObjectName(QStringLiteral("removeCredentials"));
    removeHistory->setObjectName(QStringLiteral("removeHistory"));
    removeHistory->setEnabled(historyAvailable);
    auto* accessory = new QVBoxLayout;
    accessory->setAlignment(Qt::AlignLeft);
    accessory->addWidget(removeCredentials);
    accessory->addWidget(removeHistory);

    // Made inside the dialog, so "Uninstall" becomes the dialog's own default:
    // the one Return presses whenever the focus is not on another button.
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* uninstall = buttons->addButton(UninstallTexts::uninstallButtonTitle, QDialogButtonBox::AcceptRole);
    buttons->addButton(UninstallTexts::cancelButtonTitle, QDialogButtonBox::RejectRole);
    uninstall->setDefault(true);
    uninstall->setObjectName(QStringLiteral("uninstallButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* icon = new QLabel;
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->addWidget(message);
    texts->addWidget(information);
    texts->addSpacing(4);
    texts->addLayout(accessory);
    auto* body = new QHBoxLayout;
    body->setSpacing(16);
    body->addWidget(icon, 0, Qt::AlignTop);
    body->addLayout(texts);
    auto* page = new QVBoxLayout(this);
    page->addLayout(body);
    page->addWidget(buttons);
    page->setSizeConstraint(QLayout::SetFixedSize);
}

void showUninstallFinished(QWidget* parent)
{
    QMessageBox notice(parent);
    notice.setObjectName(QStringLiteral("uninstallFinished"));
    notice.setWindowModality(Qt::ApplicationModal);
    notice.setIcon(QMessageBox::Information);
    notice.setText(UninstallTexts::finishedMessage);
    notice.setInformativeText(UninstallTexts::finishedInformation);
    if (auto* information = notice.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        information->setMinimumWidth(noticeTextWidth);
    QPushButton* close = notice.addButton(UninstallTexts::closeButtonTitle, QMessageBox::AcceptRole);
    notice.setDefaultButton(close);
    runModal(notice);
}
