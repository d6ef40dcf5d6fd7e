#include "app/velmora_m.h"

#include "dialogs/velmora_s.h"
#include "dialogs/velmora_v.h"
#include "gui/backgroundwork.h"
#include "gui/filenames.h"
#include "gui/message.h"
#include "gui/pictureimage.h"
#include "gui/settingsfile.h"
#include "gui/twips.h"
#include "imageio/imagereader.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

#include <cerrno>

namespace velmora {

namespace {

// Layout of the window in pixels (the design gives twips).
constexpr int kClientWidth = twipsToPixelsTruncated(7545);  // 503
constexpr int kClientHeight = twipsToPixelsTruncated(4845); // 323
const QRect kDisplayDesign = twipsToPixelsTruncated(QRect(0, 0, 6735, 3675));
// Master, the hidden holder of the opened picture, has a design size: an
// enlargement before any picture is opened enlarges that much background.
const QSize kMasterDesign = twipsToPixelsTruncated(QRect(6840, 60, 1380, 1260)).size();

const QString kTooLarge = QStringLiteral("拡大後の画像が大きすぎて、ﾒﾓﾘに収まりません。\n"
                                         "拡大率を小さくしてください。");
const QString kUnreadable = QStringLiteral("画像ﾌｧｲﾙを読み込めませんでした。\n%1");
const QString kPictureTooLarge = QStringLiteral("画像が大きすぎて、ﾒﾓﾘに読み込めません。\n%1");

// Why a file could not be opened, in the program's words: what the user can
// do something about.
QString openCause(const imageio::ImageReader& reader) {
    using Cause = imageio::ImageReader::Cause;
    switch (reader.cause()) {
    case Cause::Missing:
        return QStringLiteral("ﾌｧｲﾙが見つかりません。");
    case Cause::NoPermission:
        return QStringLiteral("ﾌｧｲﾙを読む権限がありません。");
    case Cause::NotRegularFile:
        return QStringLiteral("通常のﾌｧｲﾙではありません。");
    case Cause::NotAPicture:
        return QStringLiteral("BMP や JPEG などの画像ﾌｧｲﾙではありません。");
    case Cause::Damaged:
        return QStringLiteral("ﾌｧｲﾙが途中で切れているか、壊れています。");
    default:
        return QString::fromStdString(reader.errorString());
    }
}

// Why a save failed, from the system's error, in the program's words; empty
// for an error without words of its own here.
QString saveCause(int osError) {
    switch (osError) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("ﾃﾞｨｽｸの空き容量が足りません。");
    case EACCES:
    case EPERM:
        return QStringLiteral("保存先に書き込む権限がありません。");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("保存先のﾌｫﾙﾀﾞがありません。");
    case EROFS:
        return QStringLiteral("保存先は読み取り専用のﾌｧｲﾙｼｽﾃﾑです。");
    default:
        return QString();
    }
}

struct KindTexts {
    const char* description;
    const char* pattern;
    const char* extension;
};

constexpr KindTexts kJpegTexts = {"JPGﾌｧｲﾙ", "*.jpg", "jpg"};
constexpr KindTexts kBitmapTexts = {"BMPﾌｧｲﾙ", "*.bmp", "bmp"};
constexpr KindTexts kPngTexts = {"PNGﾌｧｲﾙ", "*.png", "png"};

// The save items of the file menu, in their order: each item's index is its
// place here.
constexpr SaveKind kSaveKinds[] = {SaveKind::Jpeg, SaveKind::Bitmap, SaveKind::Png};
constexpr const char* kSaveCaptions[] = {"名前を付けて保存 (JPG)", "名前を付けて保存 (BMP)",
                                         "名前を付けて保存 (PNG)"};

// A save's failure as the message box says it: a refusal in its own words,
// any other failure with its reason in brackets.
QString saveFailureText(const QString& path, const SaveResult& result) {
    const QString native = QDir::toNativeSeparators(path);
    const QString error = QString::fromStdString(result.error);
    switch (result.status) {
    case SaveStatus::Saved:
    case SaveStatus::Cancelled: // the user's own choice: nothing to say
        return QString();
    case SaveStatus::NoRoom:
    case SaveStatus::NotInFormat:
    case SaveStatus::BadDestination:
        return QStringLiteral("ﾌｧｲﾙを保存できませんでした。\n%1\n%2").arg(native, error);
    case SaveStatus::NotComputed:
        return QStringLiteral("ﾌｧｲﾙを保存できませんでした。\n%1\n(%2)")
            .arg(native, QStringLiteral("拡大できませんでした。"));
    case SaveStatus::Failed:
        break;
    }
    const QString cause = saveCause(result.osError);
    return QStringLiteral("ﾌｧｲﾙを保存できませんでした。\n%1\n(%2)")
        .arg(native, cause.isEmpty() ? error : cause);
}

// The dialogs, each made for its showing and destroyed when it has closed.
ImageChoice askImageDialog(const QString& rememberedFolder) {
    velmora_v dialog(rememberedFolder);
    dialog.exec();
    return {dialog.chosenFile(), dialog.folder()};
}

std::optional<std::int16_t> askRatioDialog(std::int16_t scale) {
    velmora_s dialog(scale);
    dialog.exec();
    return dialog.chosenScale();
}

} // namespace

QString Get_Folder(const QString& path) {
    const qsizetype last = path.lastIndexOf(QLatin1Char('/'));
    if (last < 0)
        return QString();
    if (last == 0)
        return QStringLiteral("/");
    return path.left(last);
}

velmora_m::velmora_m(MainWindowHooks hooks, QWidget* parent)
    : QMainWindow(parent), hooks_(std::move(hooks)),
      settingsFile_(hooks_.settingsFile.isEmpty() ? gui::settingsFileName() : hooks_.settingsFile),
      jpegLibrary_(gui::pathBytes(hooks_.libraryFolder), hooks_.librarySystemPath) {
    if (!hooks_.askImage)
        hooks_.askImage = askImageDialog;
    if (!hooks_.askRatio)
        hooks_.askRatio = askRatioDialog;
    if (!hooks_.askSaveName)
        hooks_.askSaveName = gui::GetSaveFileName;
    setObjectName(QStringLiteral("velmora_m"));
    setWindowTitle(QStringLiteral("velmora"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/velmora32.png")));
    buildClient();
    buildMenu();
    // The window keeps its design size, but may be maximised to show more of
    // the picture.
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    resize(minimumSizeHint());
    // A picture file dropped on the window opens as if chosen in the dialog.
    setAcceptDrops(true);

    Form_Load();
}

// The white client area with Display on it, and Master's empty design picture.
void velmora_m::buildClient() {
    auto* client = new QWidget(this);
    client_ = client;
    client->setObjectName(QStringLiteral("client"));
    client->setMinimumSize(kClientWidth, kClientHeight);
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xFF));
    client->setPalette(pal);
    setCentralWidget(client);
    client->installEventFilter(this);

    const QColor windowColour = QApplication::palette().color(QPalette::Base);
    display_ = PictureView::place(client, QStringLiteral("Display"), kDisplayDesign, windowColour);
    display_->setEnlarge(hooks_.enlarge);
    display_->hide();
    session_.master = QImage(kMasterDesign, QImage::Format_RGB32);
    session_.master.fill(windowColour);
}

void velmora_m::buildMenu() {
    fileMenu_ = menuBar()->addMenu(QStringLiteral("ﾌｧｲﾙ"));
    fileMenu_->setObjectName(QStringLiteral("m_file"));
    open_ = fileMenu_->addAction(QStringLiteral("画像ﾌｧｲﾙを開く"));
    open_->setObjectName(QStringLiteral("m_open"));
    open_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    for (int i = 0; i < kSaveItems; ++i) {
        save_[i] = fileMenu_->addAction(QString::fromUtf8(kSaveCaptions[i]));
        save_[i]->setObjectName(QStringLiteral("m_save_%1").arg(i));
        connect(save_[i], &QAction::triggered, this, [this, i] { m_save_Click(i); });
    }
    save_[0]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    sura_ = fileMenu_->addSeparator();
    sura_->setObjectName(QStringLiteral("m_sura"));
    end_ = fileMenu_->addAction(QStringLiteral("終了"));
    end_->setObjectName(QStringLiteral("m_end"));
    end_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    ritu_ = menuBar()->addAction(QStringLiteral("拡大率の指定"));
    ritu_->setObjectName(QStringLiteral("m_ritu"));
    kakudai_ = menuBar()->addAction(QStringLiteral("ｱﾝﾁｴｲﾘｱｽ拡大実行"));
    kakudai_->setObjectName(QStringLiteral("m_kakudai"));

    connect(open_, &QAction::triggered, this, &velmora_m::m_open_Click);
    connect(end_, &QAction::triggered, this, &velmora_m::m_end_Click);
    connect(ritu_, &QAction::triggered, this, &velmora_m::m_ritu_Click);
    connect(kakudai_, &QAction::triggered, this, &velmora_m::m_kakudai_Click);
}

velmora_m::~velmora_m() = default;

QAction* velmora_m::m_file() const {
    return fileMenu_->menuAction();
}

QString velmora_m::titleText(std::int16_t scale) {
    return QStringLiteral("velmora  拡大率 ") + QString::number(scale / 10.0, 'f', 1) +
           QStringLiteral("倍");
}

void velmora_m::Form_Load() {
    const QString scale = Ini_Read(kSection, kKeyScale, settingsFile_);
    session_.scale = scale.isEmpty() ? kDefaultScale : scaleFromText(scale.toStdString());
    const QString putPath = Ini_Read(kSection, kKeyPutPath, settingsFile_);
    session_.putDir = putPath.isEmpty() ? QDir::currentPath() : putPath;
    setTitle();
}

void velmora_m::remember(const QString& key, const QString& value) {
    // A settings file that cannot be written loses the value for the next
    // run only; this run goes on with it.
    Ini_Write(kSection, key, value, settingsFile_);
}

void velmora_m::setTitle() {
    setWindowTitle(titleText(session_.scale));
}

void velmora_m::showMessage(const QString& text) {
    gui::showMessage(this, text);
}

void velmora_m::m_open_Click() {
    // The folder is read afresh, as every opening of the dialog did, and
    // written back whichever way the dialog closed.
    session_.getDir = Ini_Read(kSection, kKeyGetPath, settingsFile_);
    const ImageChoice choice = hooks_.askImage(session_.getDir);
    session_.getDir = choice.folder;
    remember(kKeyGetPath, session_.getDir);
    if (!choice.file.isEmpty())
        openImage(choice.file);
}

bool velmora_m::openImage(const QString& path) {
    // The file is read again here, not taken from the dialog's preview: it may
    // have been replaced or deleted since. Master and Display share the one
    // decoded picture, so opening holds it once.
    imageio::ImageReader reader(gui::pathBytes(path));
    stopOpening_ = false;
    reader.setCancelFlag(&stopOpening_);
    imageio::Picture loaded;
    bool ok = false;
    if (!runBusy([&] { ok = reader.read(&loaded); }))
        return false;
    // Closed meanwhile: the window goes, with nothing to say.
    if (!ok && reader.failure() == imageio::ImageReader::Failure::Cancelled)
        return false;
    if (!ok) {
        // Either way nothing changes; a picture refused for its size says so,
        // since the file itself is fine and a machine with more memory opens it.
        const QString name = gui::nameForDisplay(QDir::toNativeSeparators(path));
        if (reader.failure() == imageio::ImageReader::Failure::TooLarge)
            showMessage(kPictureTooLarge.arg(name));
        else
            showMessage(kUnreadable.arg(name) + QStringLiteral("\n(%1)").arg(openCause(reader)));
        return false;
    }
    session_.file = path;
    session_.master = gui::imageOfPicture(loaded);
    // The picture's metadata goes with it: the previous picture's is dropped.
    session_.metadata = reader.metadata();
    display_->showPicture(session_.master);
    display_->fitInto(client_->size());
    display_->show();
    // The keys move the picture from now on.
    display_->setFocus();
    return true;
}

namespace {

// The first local file among the dropped items, or "".
QString droppedFile(const QMimeData* data) {
    if (data == nullptr)
        return QString();
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return gui::localFileName(url);
    return QString();
}

} // namespace

bool velmora_m::takesDrops() const {
    // While a dialog is open the window waits for it: a file opened behind the
    // dialog would be replaced, unseen, by the dialog's own choice.
    return !working_ && !enlarging_ && QApplication::activeModalWidget() == nullptr;
}

void velmora_m::dragEnterEvent(QDragEnterEvent* event) {
    if (takesDrops() && !droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void velmora_m::dropEvent(QDropEvent* event) {
    const QString file = droppedFile(event->mimeData());
    if (!takesDrops() || file.isEmpty())
        return;
    event->acceptProposedAction();
    openImage(file);
}

bool velmora_m::runBusy(const std::function<void()>& work) {
    working_ = true;
    display_->setInputEnabled(false);
    QString error;
    const bool ran = gui::runOffUiThread(work, &error);
    display_->setInputEnabled(!enlarging_);
    working_ = false;
    if (!ran)
        showMessage(QStringLiteral("処理を開始できませんでした。\n(%1)").arg(error));
    if (!enlarging_)
        endOfWork();
    return ran;
}

void velmora_m::quit() {
    if (hooks_.quit)
        hooks_.quit();
    else
        QApplication::exit(0);
}

void velmora_m::endOfWork() {
    if (closeAfterWork_)
        quit();
}

Recipe velmora_m::saveRecipe() const {
    // Before any picture and any enlargement, Display shows its empty design
    // picture, which is not Master's.
    if (display_->picture().isNull())
        return Recipe{
            gui::pictureOfImage(display_->content(QRect(QPoint(), display_->contentSize()))), 0};
    return Recipe{gui::pictureOfImage(display_->picture()), display_->ratio(), session_.metadata};
}

gui::SaveFileRequest velmora_m::saveRequest(QWidget* owner, SaveKind kind, const QString& folder) {
    const KindTexts& texts = kind == SaveKind::Jpeg     ? kJpegTexts
                             : kind == SaveKind::Bitmap ? kBitmapTexts
                                                        : kPngTexts;
    gui::SaveFileRequest r;
    r.owner = owner;
    r.filterDescription = QString::fromUtf8(texts.description);
    r.filterPattern = QString::fromUtf8(texts.pattern);
    r.initialName = r.filterPattern;
    r.initialDir = folder;
    r.title = QStringLiteral("ﾌｧｲﾙ名を付けて保存");
    r.defaultExtension = QString::fromUtf8(texts.extension);
    r.overwritePrompt = true;
    return r;
}

void velmora_m::m_save_Click(int index) {
    const SaveKind kind = kSaveKinds[index];
    QString chosen;
    if (!hooks_.askSaveName(saveRequest(this, kind, session_.putDir), &chosen))
        return;
    session_.putDir = Get_Folder(chosen);
    remember(kKeyPutPath, session_.putDir);
    // The file is written off the user-interface thread: the window keeps
    // painting and the busy pointer shows; a save that takes longer than a
    // moment shows its progress and can be cancelled. User input waits until
    // it is done; a close meanwhile waits for it.
    const Recipe recipe = saveRecipe();
    const int rows = std::max(1, recipeSize(recipe).height());
    SaveResult result;
    QString error;
    working_ = true;
    display_->setInputEnabled(false);
    const bool ran = gui::runWithProgress(
        this, QStringLiteral("ﾌｧｲﾙ名を付けて保存"),
        QStringLiteral("ﾌｧｲﾙを保存しています。\n%1").arg(QDir::toNativeSeparators(chosen)),
        [&](gui::WorkProgress& progress) {
            SaveOptions options;
            options.jpegLibrary = &jpegLibrary_;
            options.sourceFile = gui::pathBytes(session_.file);
            options.cancel = &progress.cancelled;
            options.progress = [&progress, rows](int done) {
                progress.percent = static_cast<int>(100LL * done / rows);
            };
            result = velmora::saveRecipe(recipe, gui::pathBytes(chosen), kind, options);
        },
        &error, hooks_.saveProgressDelayMs);
    if (!ran)
        result = {SaveStatus::Failed, error.toStdString()};
    display_->setInputEnabled(true);
    working_ = false;
    if (const QString text = saveFailureText(chosen, result); !text.isEmpty())
        showMessage(text);
    endOfWork();
}

void velmora_m::m_end_Click() {
    if (working_ || enlarging_) {
        closeAfterWork_ = true;
        stopOpening_ = true;
        return;
    }
    quit();
}

void velmora_m::m_ritu_Click() {
    if (const std::optional<std::int16_t> chosen = hooks_.askRatio(session_.scale)) {
        session_.scale = *chosen;
        remember(kKeyScale, QString::fromStdString(scaleToText(session_.scale)));
    }
    setTitle();
}

void velmora_m::setMenuEnabled(bool on) {
    m_file()->setEnabled(on);
    ritu_->setEnabled(on);
    kakudai_->setEnabled(on);
    // The items' shortcuts, and the keys and the mouse of the picture, rest
    // with the menu.
    for (QAction* item : {open_, save_[0], save_[1], save_[2], end_})
        item->setEnabled(on);
    display_->setInputEnabled(on);
}

void velmora_m::m_kakudai_Click() {
    if (enlarging_)
        return;
    enlarging_ = true;
    setMenuEnabled(false);
    runEnlargement();
    setMenuEnabled(true);
    enlarging_ = false;
    emit enlargementFinished();
    endOfWork();
}

void velmora_m::runEnlargement() {
    const double r = session_.scale / 10.0;
    // Display takes the result's size and shows the part in view; the result
    // is never held whole, so any ratio whose size can be counted is shown.
    const PictureView::State previous = display_->state();
    if (!display_->showEnlarged(session_.master, r)) {
        showMessage(kTooLarge);
        return;
    }
    display_->fitInto(client_->size());
    // One pass of pending events paints the greyed menu and the resized Display.
    QCoreApplication::processEvents();
    const gui::BusyPointer busy;
    if (!display_->reveal()) {
        display_->restore(previous);
        display_->repaint();
        showMessage(QStringLiteral("拡大できませんでした。"));
    }
}

bool velmora_m::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize)
        display_->fitInto(client_->size());
    return QMainWindow::eventFilter(watched, event);
}

void velmora_m::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    keepDesignSize();
}

void velmora_m::keepDesignSize() {
    // Window managers offer maximising only to a window that may change its
    // size; in the normal state any other size is put back at once.
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))
        return;
    if (size() != minimumSizeHint())
        resize(minimumSizeHint());
}

void velmora_m::closeEvent(QCloseEvent* event) {
    if (working_ || enlarging_) {
        // Saving and enlarging cannot be abandoned half-way; the window closes
        // as soon as the work has finished. Reading a file stops at once.
        closeAfterWork_ = true;
        stopOpening_ = true;
        event->ignore();
        return;
    }
    event->accept();
    quit();
}

} // namespace velmora
