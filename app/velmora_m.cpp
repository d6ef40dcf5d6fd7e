#include "app/velmora_m.h"

#include "engine/enlarge.h"
#include "platform/backgroundwork.h"
#include "platform/filenames.h"
#include "platform/imagebuffer.h"
#include "platform/imagereader.h"
#include "platform/memory.h"
#include "platform/message.h"
#include "platform/surface.h"
#include "platform/twips.h"
#include "settings/settings.h"
#include "state/velmora_b.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

#include <memory>

namespace velmora {

namespace {

// Layout of the window in pixels (the design gives twips).
constexpr int kClientWidth = TwipsToPixelsTruncated(7545);  // 503
constexpr int kClientHeight = TwipsToPixelsTruncated(4845); // 323
const QRect kDisplayDesign = TwipsToPixelsTruncated(QRect(0, 0, 6735, 3675));
const QRect kMasterDesign = TwipsToPixelsTruncated(QRect(6840, 60, 1380, 1260));

// The engine's position and weight tables, per destination column and row.
constexpr long long kTableBytes = 64;
const QString kTooLarge = QStringLiteral("拡大後の画像が大きすぎて、ﾒﾓﾘに収まりません。\n"
                                         "拡大率を小さくしてください。");
const QString kUnreadable = QStringLiteral("画像ﾌｧｲﾙを読み込めませんでした。\n%1");
const QString kPictureTooLarge = QStringLiteral("画像が大きすぎて、ﾒﾓﾘに読み込めません。\n%1");
// The step, in columns, in which the result is shown growing.
constexpr int kRevealColumns = 64;

} // namespace

velmora_m::velmora_m(MainWindowServices services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)) {
    setObjectName(QStringLiteral("velmora_m"));
    setWindowTitle(QStringLiteral("velmora"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/velmora32.png")));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xFF));
    client->setPalette(pal);
    setCentralWidget(client);

    const QColor windowColour = QApplication::palette().color(QPalette::Base);
    display_ =
        platform::Surface::Place(client, QStringLiteral("Display"), kDisplayDesign, windowColour);
    display_->hide();
    master_ =
        platform::Surface::Place(client, QStringLiteral("Master"), kMasterDesign, windowColour);
    master_->setAutoSize(true);
    master_->hide();

    fileMenu_ = menuBar()->addMenu(QStringLiteral("ﾌｧｲﾙ"));
    fileMenu_->setObjectName(QStringLiteral("m_file"));
    open_ = fileMenu_->addAction(QStringLiteral("画像ﾌｧｲﾙを開く"));
    open_->setObjectName(QStringLiteral("m_open"));
    save_[0] = fileMenu_->addAction(QStringLiteral("名前を付けて保存 (JPG)"));
    save_[0]->setObjectName(QStringLiteral("m_save_0"));
    save_[1] = fileMenu_->addAction(QStringLiteral("名前を付けて保存 (BMP)"));
    save_[1]->setObjectName(QStringLiteral("m_save_1"));
    sura_ = fileMenu_->addSeparator();
    sura_->setObjectName(QStringLiteral("m_sura"));
    end_ = fileMenu_->addAction(QStringLiteral("終了"));
    end_->setObjectName(QStringLiteral("m_end"));
    ritu_ = menuBar()->addAction(QStringLiteral("拡大率の指定"));
    ritu_->setObjectName(QStringLiteral("m_ritu"));
    kakudai_ = menuBar()->addAction(QStringLiteral("ｱﾝﾁｴｲﾘｱｽ拡大実行"));
    kakudai_->setObjectName(QStringLiteral("m_kakudai"));

    connect(open_, &QAction::triggered, this, &velmora_m::m_open_Click);
    connect(save_[0], &QAction::triggered, this, [this] { m_save_Click(0); });
    connect(save_[1], &QAction::triggered, this, [this] { m_save_Click(1); });
    connect(end_, &QAction::triggered, this, &velmora_m::m_end_Click);
    connect(ritu_, &QAction::triggered, this, &velmora_m::m_ritu_Click);
    connect(kakudai_, &QAction::triggered, this, &velmora_m::m_kakudai_Click);

    // The window keeps its size: a fixed border, no maximise.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    // A picture file dropped on the window opens as if chosen in the dialog.
    setAcceptDrops(true);

    Form_Load();
}

velmora_m::~velmora_m() = default;

QAction* velmora_m::m_file() const {
    return fileMenu_->menuAction();
}

QString velmora_m::Title_Text(std::int16_t scale) {
    return QStringLiteral("velmora  拡大率 ") + QString::number(scale / 10.0, 'f', 1) +
           QStringLiteral("倍");
}

void velmora_m::Form_Load() {
    const QString file = Settings_File();
    const QString scale = Ini_Read(kSection, kKeyScale, file);
    Ritu_Scale = scale.isEmpty() ? kDefaultScale : Scale_From_Text(scale);
    const QString putPath = Ini_Read(kSection, kKeyPutPath, file);
    Put_Dir = putPath.isEmpty() ? QDir::currentPath() : putPath;
    setTitle();
}

void velmora_m::setTitle() {
    setWindowTitle(Title_Text(Ritu_Scale));
}

void velmora_m::showMessage(const QString& text) {
    platform::ShowMessage(this, text);
}

void velmora_m::m_open_Click() {
    Sel_File.clear();
    if (services_.showImageDialog)
        Sel_File = services_.showImageDialog();
    if (Sel_File.isEmpty())
        return;
    openImage(Sel_File);
}

bool velmora_m::openImage(const QString& path) {
    // The file is read again here, not taken from the dialog's preview: it may
    // have been replaced or deleted since. Master and Display share the one
    // decoded picture, so opening holds it once.
    platform::ImageReader reader(path);
    QImage loaded;
    bool ok = false;
    if (!runBusy([&] { ok = reader.read(&loaded); }))
        return false;
    if (!ok) {
        // Either way nothing changes; a picture refused for its size says so,
        // since the file itself is fine and a machine with more memory opens it.
        const QString text = reader.failure() == platform::ImageReader::Failure::TooLarge
                                 ? kPictureTooLarge
                                 : kUnreadable;
        showMessage(text.arg(platform::NameForDisplay(QDir::toNativeSeparators(path))));
        return false;
    }
    master_->setPicture(loaded);
    display_->showPicture(master_->picture());
    display_->show();
    resultRatio_ = 0;
    return true;
}

namespace {

// The first local file among the dropped items, or "".
QString droppedFile(const QMimeData* data) {
    if (data == nullptr)
        return QString();
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return platform::LocalFileName(url);
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
    QString error;
    const bool ran = platform::RunOffUiThread(work, &error);
    working_ = false;
    if (!ran)
        showMessage(QStringLiteral("処理を開始できませんでした。\n(%1)").arg(error));
    if (!enlarging_)
        endOfWork();
    return ran;
}

void velmora_m::endOfWork() {
    if (closeAfterWork_)
        QApplication::exit(0);
}

Recipe velmora_m::saveRecipe() const {
    // Before any picture and any enlargement, Display shows its empty design
    // picture, which is not Master's.
    if (master_->picture().isNull() && resultRatio_ == 0)
        return Recipe{display_->image(), 0};
    return Recipe{master_->image(), resultRatio_};
}

void velmora_m::m_save_Click(int index) {
    if (!services_.save)
        return;
    // The save runs off this thread (see app/savecommand.h); a close meanwhile
    // waits for it.
    working_ = true;
    services_.save(this, saveRecipe(), index == 0 ? SaveKind::Jpeg : SaveKind::Bitmap);
    working_ = false;
    endOfWork();
}

void velmora_m::m_end_Click() {
    if (working_ || enlarging_) {
        closeAfterWork_ = true;
        return;
    }
    QApplication::exit(0);
}

void velmora_m::m_ritu_Click() {
    if (services_.showRatioDialog) {
        if (const std::optional<std::int16_t> chosen = services_.showRatioDialog(Ritu_Scale))
            Ritu_Scale = *chosen;
    }
    setTitle();
}

void velmora_m::setMenuEnabled(bool on) {
    m_file()->setEnabled(on);
    ritu_->setEnabled(on);
    kakudai_->setEnabled(on);
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
    const double r = Ritu_Scale / 10.0;
    const EnlargeGeometry geometry = Enlarge_Geometry(master_->width(), master_->height(), r);
    // What the run holds at once: Master's picture, Display's present image
    // (kept until the result is complete, so that a failed run can put it back)
    // and the fresh result with the engine's tables. The first two are in
    // memory already, so the memory figure has them taken off; what the run
    // adds is checked against what is left.
    const long long adds = static_cast<long long>(geometry.width) * geometry.height * 4 +
                           (static_cast<long long>(geometry.width) + geometry.height) * kTableBytes;
    if (!geometry.valid || !platform::FitsInMemory(adds)) {
        showMessage(kTooLarge);
        return;
    }
    if (geometry.empty()) {
        // No pixels: Display takes the empty size and shows nothing new.
        display_->resize(geometry.width, display_->height());
        display_->resize(display_->width(), geometry.height);
        display_->Cls();
        resultRatio_ = r;
        return;
    }
    // The result is computed on worker threads into a fresh image that becomes
    // the retained image of Display at its new size. Until a column is finished
    // Display shows it cleared (its picture over the background), so the fresh
    // image needs no clearing of its own; finished columns are shown as they
    // come, left to right.
    QImage result = platform::AllocateImage(geometry.width, geometry.height);
    if (result.isNull()) {
        showMessage(kTooLarge);
        return;
    }
    const QImage previous = display_->image();
    display_->beginReveal(std::move(result));
    // One pass of pending events paints the greyed menu and the resized Display.
    QCoreApplication::processEvents();
    if (!enlargeInto(master_->image(), r, display_->image())) {
        display_->beginReveal(previous);
        display_->setRevealed(previous.width());
        display_->repaint();
        return;
    }
    display_->setRevealed(geometry.width);
    display_->repaint();
    resultRatio_ = r;
}

bool velmora_m::enlargeInto(const QImage& source, double r, QImage& target) {
    const SourceImage view{reinterpret_cast<const std::uint32_t*>(source.constBits()),
                           source.width(), source.height(), source.bytesPerLine() / 4};
    // The destination is Display's retained image; nothing resizes Display while
    // the work runs, since the menu and input are held back.
    const DestImage dest{reinterpret_cast<std::uint32_t*>(target.bits()), target.width(),
                         target.height(), target.bytesPerLine() / 4};
    struct Progress {
        std::atomic<int> columns{0};
        std::atomic<bool> posted{false};
    };
    auto progress = std::make_shared<Progress>();
    platform::Surface* display = display_;
    EnlargeOptions options;
    options.blendedHigh = 0xFF000000u;
    // Narrow bands, so that the result visibly grows from left to right; they
    // cost a few per cent of the speed of the widest ones.
    options.bandColumns = kRevealColumns;
    options.progress = [progress, display](int columns) {
        progress->columns.store(columns, std::memory_order_release);
        // One pending repaint request at a time; it picks up the latest count.
        if (!progress->posted.exchange(true, std::memory_order_acq_rel)) {
            QMetaObject::invokeMethod(
                display,
                [progress, display] {
                    progress->posted.store(false, std::memory_order_release);
                    display->setRevealed(progress->columns.load(std::memory_order_acquire));
                },
                Qt::QueuedConnection);
        }
    };
    const auto enlarge = services_.enlarge ? services_.enlarge : Enlarge;
    bool ok = false;
    const bool ran = runBusy([&] {
        try {
            ok = enlarge(view, r, dest, options);
        } catch (const std::exception&) {
            ok = false;
        }
    });
    if (ran && !ok)
        showMessage(QStringLiteral("拡大できませんでした。"));
    return ran && ok;
}

void velmora_m::closeEvent(QCloseEvent* event) {
    if (working_ || enlarging_) {
        // Opening, saving and enlarging cannot be abandoned half-way; the window
        // closes as soon as the work has finished.
        closeAfterWork_ = true;
        event->ignore();
        return;
    }
    event->accept();
    QApplication::exit(0);
}

} // namespace velmora
