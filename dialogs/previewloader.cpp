#include "dialogs/previewloader.h"

#include "gui/backgroundwork.h"
#include "gui/filenames.h"
#include "gui/pictureimage.h"
#include "imageio/imagereader.h"

#include <atomic>

namespace velmora {

// One request, shared by the worker that decodes it and the loader, which
// drops it when a newer request comes or the dialog goes away.
struct PreviewLoader::Job {
    std::atomic<bool> cancelled{false};
    Result result;
};

PreviewLoader::PreviewLoader(QObject* parent) : QObject(parent) {}

PreviewLoader::~PreviewLoader() {
    cancel();
}

void PreviewLoader::request(const QString& path, std::function<QSize(QSize)> previewSize) {
    cancel();
    auto job = std::make_shared<Job>();
    job->result.path = path;
    current_ = job;
    gui::runInBackground(
        this,
        [job, previewSize = std::move(previewSize)] {
            imageio::ImageReader reader(gui::pathBytes(job->result.path));
            reader.setCancelFlag(&job->cancelled);
            const QSize size = gui::qSize(reader.size());
            if (size.isValid())
                reader.reduceFor(gui::sizeOf(previewSize(size)));
            imageio::Picture picture;
            if (reader.read(&picture)) {
                job->result.picture = gui::imageOfPicture(picture);
                job->result.size = size;
            }
        },
        [this, job] {
            if (job != current_)
                return; // superseded or cancelled
            current_.reset();
            emit Ready(job->result);
        });
}

void PreviewLoader::cancel() {
    if (current_)
        current_->cancelled = true;
    current_.reset();
}

} // namespace velmora
