#include "app/metadata_download.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <ostream>

namespace {

constexpr int kTransferTimeoutMs = 60000;

}  // namespace

bool DownloadMetadata(const std::string& url, std::vector<uint8_t>& bytes, std::string& error,
                      const DownloadProgress& progress) {
  bytes.clear();
  const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
  if (!address.isValid() ||
      (address.scheme() != QLatin1String("https") && address.scheme() != QLatin1String("http"))) {
    error = "The metadata address " + url + " is not an http or https address.";
    return false;
  }
  QNetworkAccessManager manager;
  QNetworkRequest request(address);
  request.setTransferTimeout(kTransferTimeoutMs);
  QNetworkReply* reply = manager.get(request);
  bool tooLarge = false;
  bool cancelled = false;
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                   [&](qint64 received, qint64 total) {
                     if (received > static_cast<qint64>(MDS_MAX_FILE_BYTES) ||
                         total > static_cast<qint64>(MDS_MAX_FILE_BYTES)) {
                       tooLarge = true;
                       reply->abort();
                     } else if (progress && !progress(received, total)) {
                       cancelled = true;
                       reply->abort();
                     }
                   });
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  if (!reply->isFinished()) loop.exec();

  bool ok = false;
  if (tooLarge) {
    error = "The download from " + url + " is larger than any metadata file.";
  } else if (cancelled) {
    error = "The download from " + url + " was cancelled.";
  } else if (reply->error() != QNetworkReply::NoError) {
    error = "The download from " + url + " failed: " + reply->errorString().toStdString() + ".";
  } else {
    const QByteArray body = reply->readAll();
    bytes.assign(body.begin(), body.end());
    ok = true;
  }
  reply->deleteLater();
  return ok;
}

bool UpdateMetadataCache(const MetadataOptions& options, const WallClock& clock,
                         const std::string& cachePath, std::string& message,
                         const DownloadProgress& progress) {
  TrustStore trust;
  if (!LoadTrustRoots(options.roots, trust, message)) return false;
  const std::string url = options.url.empty() ? DEFAULT_MDS_URL : options.url;
  std::vector<uint8_t> bytes;
  if (!DownloadMetadata(url, bytes, message, progress)) {
    message += " The cached copy is unchanged.";
    return false;
  }
  return StoreVerifiedDownload(bytes, trust, clock, cachePath, message);
}

bool RunMetadataUpdateCommand(const MetadataOptions& options, std::ostream& err) {
  const std::string url = options.url.empty() ? DEFAULT_MDS_URL : options.url;
  err << "quillmark: downloading the metadata file from " << url << " ..." << std::endl;
  std::string message;
  const bool stored = UpdateMetadataCache(options, SystemWallClock(), MetadataCachePath(), message);
  err << "quillmark: " << message << "\n";
  return stored;
}
