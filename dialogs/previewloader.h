// Decoding the picture a preview shows, off the user-interface thread.
#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

namespace velmora {

class PreviewLoader : public QObject {
    Q_OBJECT
  public:
    struct Result {
        QString path;
        QImage picture; // at least the preview's size; null when unreadable
        QSize size;     // the file's picture as it stands upright, whole
    };

    explicit PreviewLoader(QObject* parent = nullptr);
    ~PreviewLoader() override;

    // Starts decoding path at no less than previewSize(its upright size), and
    // cancels the request before it, whose result is never given. Returns at
    // once; Ready comes when the picture is decoded or has failed.
    void request(const QString& path, std::function<QSize(QSize)> previewSize);
    // Cancels the current request, if any: no Ready for it.
    void cancel();
    // Whether a request is still being decoded.
    bool pending() const { return current_ != nullptr; }

  signals:
    void Ready(const PreviewLoader::Result& result);

  private:
    struct Job;
    std::shared_ptr<Job> current_;
};

} // namespace velmora
