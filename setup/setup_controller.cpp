#include "setup/setup_controller.h"

#include "agent/agent_contract.h"
#include "app/globals.h"
#include "install/installation_discovery.h"
#include "platform/bundle_location.h"
#include "setup/elided_label.h"
#include "setup/setup_window.h"
#include "setup/status_colors.h"
#include "setup/window_texts.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

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

QLabel* wrappingLabel(const QString& text)
{
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setFixedWidth(textWidth);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// A flat button that looks and acts like a link.
QPushButton* linkButton(const QString& title)
{
    auto* button = new QPushButton(title);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setObjectName(QStringLiteral("linkButton"));
    button->setStyleSheet(QStringLiteral(
        "QPushButton#linkButton { border: none; padding: 0; color: palette(link); text-align: left; }"
        "QPushButton#linkButton:hover { text-decoration: underline; }"));
    return button;
}

QHBoxLayout* row(std::initializer_list<QWidget*> widgets, int spacing = -1)
{
    auto* layout = new QHBoxLayout;
    if (spacing >= 0)
        layout->setSpacing(spacing);
    for (QWidget* widget : widgets)
        layout->addWidget(widget);
    layout->addStretch(1);
    return layout;
}

// The header image from the bundle's resources, with its double-resolution
// sibling for sharp high-DPI screens; none when the bundle holds no image.
QLabel* makeHeaderImage()
{
    const QString path = platform::bundleResourcePath() + u'/' + WindowTexts::headerImageName;
    if (!QFileInfo(path).isFile())
        return nullptr;
    const QIcon icon(path); // picks up "HaldenInstaller@2x.png" by itself
    const QPixmap pixmap = icon.pixmap(QSize(headerImageSize, headerImageSize));
    if (pixmap.isNull())
        return nullptr;
    auto* image = new QLabel;
    image->setFixedSize(headerImageSize, headerImageSize);
    image->setPixmap(pixmap);
    image->setAlignment(Qt::AlignCenter);
    return image;
}

} // namespace

SetupController::SetupController()
    : window(new SetupWindow)
    , folderLabel(new MiddleElidedLabel(WindowTexts::noFolderChosen))
    , statusLabel(wrappingLabel(QString()))
    , log(new QPlainTextEdit)
    , setupButton(new QPushButton(WindowTexts::setupButtonTitle))
    , repairButton(new QPushButton(WindowTexts::repairButtonTitle))
    , chooseButton(new QPushButton(WindowTexts::chooseButtonTitle))
    , openProjectButton(new QPushButton(WindowTexts::openProjectButtonTitle))
    , uninstallButton(new QPushButton(WindowTexts::uninstallButtonTitle))
{
    window->setWindowTitle(productName);
    buildUI();
    window->centerOnScreen();
}

SetupController::~SetupController()
{
    delete window;
}

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
    headerImage = makeHeaderImage();
    auto* header = new QHBoxLayout;
    header->setSpacing(headerSpacing);
    if (headerImage)
        header->addWidget(headerImage, 0, Qt::AlignVCenter);
    header->addWidget(title, 0, Qt::AlignVCenter);
    header->addStretch(1);
    layout->addLayout(header);

    layout->addWidget(wrappingLabel(WindowTexts::introduction));

    helpLinkButton = linkButton(helpURL.toString());
    supportLinkButton = linkButton(supportAddress);
    layout->addLayout(row({helpLinkButton, supportLinkButton}, headerSpacing * 2));

    layout->addWidget(new QLabel(WindowTexts::folderHeading));

    folderLabel->setMaximumWidth(folderLabelMaxWidth);
    folderLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addLayout(row({chooseButton, folderLabel}));

    layout->addLayout(row({setupButton, repairButton, uninstallButton, openProjectButton}));

    setStatus(QString(), false);
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
    layout->addWidget(log);
    layout->addStretch(1);

    connect(helpLinkButton, &QPushButton::clicked, this, &SetupController::openHelp);
    connect(supportLinkButton, &QPushButton::clicked, this, &SetupController::openSupport);
    connect(chooseButton, &QPushButton::clicked, this, &SetupController::chooseFolder);
    connect(setupButton, &QPushButton::clicked, this, &SetupController::setUpAgent);
    connect(repairButton, &QPushButton::clicked, this, &SetupController::repair);
    connect(uninstallButton, &QPushButton::clicked, this, &SetupController::uninstall);
    connect(openProjectButton, &QPushButton::clicked, this, &SetupController::openProject);
    repairButton->setEnabled(false);
    openProjectButton->setEnabled(false);

    // Drawn as the window's default button, as the Return key presses it.
    setupButton->setDefault(true);
    // Return and Enter press the set-up button, but only while it is enabled.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), window);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (setupButton->isEnabled())
                setupButton->click();
        });
    }

    window->setCentralWidget(page);
}

void SetupController::setStartUpState()
{
    const std::optional<QString> install = installDir();
    if (!install || !agentBinary(*install)) {
        setStatus(WindowTexts::componentsMissing, true);
        setupButton->setEnabled(false);
        uninstallButton->setEnabled(false);
        return;
    }
    setupButton->setEnabled(false);
    if (const std::optional<QString> existing = existingAuthorizedFolder()) {
        setFolder(*existing);
        repairAvailable = true;
        repairButton->setEnabled(true);
        setStatus(WindowTexts::existingInstallation, false);
        // Starts once the window is shown and the event loop runs.
        QTimer::singleShot(0, this, &SetupController::repair);
        return;
    }
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
    statusLabel->setText(text);
    QPalette palette = statusLabel->palette();
    palette.setColor(QPalette::WindowText, statusColor(error, window->palette()));
    statusLabel->setPalette(palette);
}

void SetupController::append(const QString& text)
{
    if (logBatch) {
        logBatch->insertText(text + u'\n');
        return;
    }
    QTextCursor cursor(log->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text + u'\n');
    scrollLogToEnd();
}

// Moves the view, not the text cursor, so a selection in the log survives.
void SetupController::scrollLogToEnd()
{
    QScrollBar* bar = log->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void SetupController::consumeBatch(const QStringList& lines)
{
    if (lines.isEmpty())
        return;
    logBatch.emplace(log->document());
    logBatch->movePosition(QTextCursor::End);
    logBatch->beginEditBlock();
    for (const QString& line : lines)
        consume(line);
    logBatch->endEditBlock();
    logBatch.reset();
    scrollLogToEnd();
}
