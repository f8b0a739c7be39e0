#include "setup/setup_controller.h"

#include "agent/agent_contract.h"
#include "app/globals.h"
#include "install/installation_discovery.h"
#include "platform/bundle_location.h"
#include "setup/announcer.h"
#include "setup/elided_label.h"
#include "setup/setup_window.h"
#include "setup/window_texts.h"
#include "setup/wrapping_label.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include <QtMath>

namespace {

constexpr int pageMargin = 20;
constexpr int pageSpacing = 10;
constexpr int headerSpacing = 12;
constexpr int headerImageSize = 56;
constexpr int textWidth = 520;
constexpr int folderLabelMaxWidth = 320;
constexpr int logHeight = 200;
constexpr int headerPointSize = 18;
constexpr int logPointSize = 11;

// A flat button that looks and acts like a link; the keyboard focus shows as a frame.
QPushButton* linkButton(const QString& title, const QString& description)
{
    auto* button = new QPushButton(title);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setAccessibleDescription(description);
    button->setObjectName(QStringLiteral("linkButton"));
    button->setStyleSheet(QStringLiteral("QPushButton#linkButton { border: 1px solid transparent; padding: 1px; color: "
                                         "palette(link); text-align: left; }"
                                         "QPushButton#linkButton:hover { text-decoration: underline; }"
                                         "QPushButton#linkButton:focus { border-color: palette(highlight); }"));
    return button;
}

QHBoxLayout* row(std::initializer_list<QWidget*> widgets)
{
    auto* layout = new QHBoxLayout;
    for (QWidget* widget : widgets)
        layout->addWidget(widget);
    layout->addStretch(1);
    return layout;
}

// The header image from the bundle's resources, scaled to fit the header's
// square whatever size it was drawn at, from its double-resolution sibling on
// a high-DPI screen; none when the bundle holds no image.
QLabel* makeHeaderImage(qreal pixelRatio)
{
    const QString path = platform::bundleResourcePath() + u'/' + WindowTexts::headerImageName;
    if (!QFileInfo(path).isFile())
        return nullptr;
    QImage source;
    if (pixelRatio > 1)
        source.load(platform::bundleResourcePath() + u'/' + WindowTexts::headerImageName2x);
    if (source.isNull() && !source.load(path))
        return nullptr;
    const int side = qCeil(headerImageSize * pixelRatio);
    QPixmap pixmap = QPixmap::fromImage(source.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(pixelRatio);
    auto* image = new QLabel;
    image->setFixedSize(headerImageSize, headerImageSize);
    image->setPixmap(pixmap);
    image->setAlignment(Qt::AlignCenter);
    image->setAccessibleName(productName);
    image->setAccessibleDescription(WindowTexts::headerImageDescription);
    return image;
}

} // namespace

SetupController::SetupController()
    : window(new SetupWindow)
    , folderLabel(new MiddleElidedLabel(WindowTexts::noFolderChosen))
    , statusLabel(new StatusLine(textWidth))
    , log(new QPlainTextEdit)
    , setupButton(new QPushButton(WindowTexts::setupButtonTitle))
    , repairButton(new QPushButton(WindowTexts::repairButtonTitle))
    , chooseButton(new QPushButton(WindowTexts::chooseButtonTitle))
    , openProjectButton(new QPushButton(WindowTexts::openProjectButtonTitle))
    , uninstallButton(new QPushButton(WindowTexts::uninstallButtonTitle))
    , announcer(new Announcer(window, static_cast<StatusLine*>(statusLabel)))
{
    window->setWindowTitle(productName);
    buildUI();
    window->centerOnScreen();
}

SetupController::~SetupController() { delete window; }

void SetupController::buildUI()
{
    buildLayout();
    setStartUpState();
}

void SetupController::buildLayout()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(pageMargin, pageMargin, pageMargin, pageMargin);
    layout->setSpacing(pageSpacing);
    layout->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* title = new QLabel(productName);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSize(headerPointSize);
    title->setFont(titleFont);
    auto* header = new QHBoxLayout;
    header->setSpacing(headerSpacing);
    headerImage = makeHeaderImage(window->devicePixelRatio());
    if (headerImage)
        header->addWidget(headerImage, 0, Qt::AlignVCenter);
    header->addWidget(title, 0, Qt::AlignVCenter);
    header->addStretch(1);
    layout->addLayout(header);

    auto* introduction = new WrappingLabel(WindowTexts::introduction, textWidth);
    layout->addWidget(introduction);

    helpLinkButton = linkButton(helpURL.toString(), WindowTexts::helpLinkDescription);
    supportLinkButton = linkButton(supportAddress, WindowTexts::supportLinkDescription);
    layout->addLayout(row({ helpLinkButton, supportLinkButton }));

    auto* folderHeading = new QLabel(WindowTexts::folderHeading);
    folderHeading->setBuddy(folderLabel); // a screen reader reads the folder label as labelled by its heading
    layout->addWidget(folderHeading);

    folderLabel->setTextFormat(Qt::PlainText);
    folderLabel->setMaximumWidth(folderLabelMaxWidth);
    folderLabel->setAccessibleDescription(WindowTexts::folderLabelDescription);
    folderLabel->setFocusPolicy(Qt::StrongFocus); // read from the keyboard too, like the status line
    layout->addLayout(row({ chooseButton, folderLabel }));

    layout->addLayout(row({ setupButton, repairButton, uninstallButton, openProjectButton }));

    layout->addWidget(statusLabel);

    log->setReadOnly(true);
    log->setUndoRedoEnabled(false);
    log->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log->setFixedSize(textWidth, logHeight);
    QFont logFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    logFont.setPointSize(logPointSize);
    logFont.setWeight(QFont::Normal);
    log->setFont(logFont);
    log->setAccessibleName(WindowTexts::logName);
    log->setAccessibleDescription(WindowTexts::logDescription);
    layout->addWidget(log);
    layout->addStretch(1);

    connect(helpLinkButton, &QPushButton::clicked, this, &SetupController::openHelp);
    connect(supportLinkButton, &QPushButton::clicked, this, &SetupController::openSupport);
    for (const auto& [button, operation] : { std::pair { chooseButton, &SetupController::chooseFolder },
             { setupButton, &SetupController::setUpAgent }, { repairButton, &SetupController::repair },
             { uninstallButton, &SetupController::uninstall }, { openProjectButton, &SetupController::openProject } })
        connect(button, &QPushButton::clicked, this, operation);

    for (const int key : { Qt::Key_Return, Qt::Key_Enter }) {
        auto* shortcut = new QShortcut(QKeySequence(key), window);
        connect(shortcut, &QShortcut::activated, this, &SetupController::pressReturn);
    }
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && now->window() == window)
            showReturnTarget();
    });

    // The keyboard visits the controls in the order they are seen.
    QWidget* previous = introduction;
    for (QWidget* next : std::initializer_list<QWidget*> { helpLinkButton, supportLinkButton, chooseButton, folderLabel,
             setupButton, repairButton, uninstallButton, openProjectButton, statusLabel, log }) {
        QWidget::setTabOrder(previous, next);
        previous = next;
    }

    window->setPage(page, log);
    // What is heard and seen first is what the window says of the installation.
    statusLabel->setFocus(Qt::OtherFocusReason);
}

void SetupController::setStartUpState()
{
    const std::optional<QString> install = installDir();
    if (!install || !agentBinary(*install)) {
        setStatus(WindowTexts::componentsMissing, true);
        uninstallOffered = false;
        updateControls();
        return;
    }
    if (const std::optional<QString> existing = existingAuthorizedFolder()) {
        setFolder(*existing);
        repairAvailable = repairOffered = true;
        updateControls();
        setStatus(WindowTexts::existingInstallation, false);
        // Starts once the window is shown and the event loop runs.
        QTimer::singleShot(0, this, &SetupController::repair);
        return;
    }
    updateControls();
    setStatus(WindowTexts::chooseFolderToStart, false);
}

void SetupController::setFolder(const QString& path)
{
    folder = AgentContract::agentPath(path);
    folderLabel->setText(*folder);
    folderLabel->setToolTip(*folder);
}

void SetupController::setStatus(const QString& text, bool error)
{
    static_cast<StatusLine*>(statusLabel)->setStatus(text, error);
    announcer->announce(text, error);
}

// Return and Enter press the set-up button while it is enabled; on Linux
// desktops a push button that has the focus takes them instead, as it does in
// every toolkit there. On macOS Space presses the focused button and Return
// always the default one.
void SetupController::pressReturn()
{
    if (QPushButton* target = returnTarget())
        target->click();
}

QPushButton* SetupController::returnTarget() const
{
#ifndef __APPLE__
    if (auto* focused = qobject_cast<QPushButton*>(window->focusWidget()))
        return focused;
#endif
    return setupButton->isEnabled() ? setupButton : nullptr;
}

// The default-button frame is drawn on the one button Return would press, if any.
void SetupController::showReturnTarget()
{
    QPushButton* target = returnTarget();
    for (QPushButton* button : { setupButton, repairButton, chooseButton, openProjectButton, uninstallButton })
        button->setDefault(button == target);
}

void SetupController::append(const QString& text)
{
    if (logBatch)
        logBatch->append(text).append(u'\n');
    else
        addToLog(text + u'\n');
}

// Adds at the end of the document, not at the text cursor, and moves the view,
// not the cursor, so a selection in the log survives.
void SetupController::addToLog(const QString& lines)
{
    QTextCursor end(log->document());
    end.movePosition(QTextCursor::End);
    end.insertText(lines);
    QScrollBar* bar = log->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void SetupController::consumeBatch(const QList<QByteArrayView>& lines)
{
    logBatch.emplace();
    for (const QByteArrayView line : lines)
        consume(line);
    const QString entries = *std::exchange(logBatch, std::nullopt);
    if (!entries.isEmpty())
        addToLog(entries);
}
