#include "app/metadata_download.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <ostream>

#include "metadata/revocation_list.h"

namespace {

constexpr int kTransferTimeoutMs = 60000;

}  // namespace

bool DownloadMetadata(const std::string& url, std::vector<uint8_t>& bytes, std::string& error,
                      const DownloadProgress& progress, DownloadDeadline deadline, bool* late) {
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
  bool pastDeadline = false;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, reply, [&] {
    pastDeadline = true;
    reply->abort();
  });
  if (deadline != DownloadDeadline::max()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    timer.start(static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT32_MAX)));
  }
  if (!reply->isFinished()) loop.exec();

  bool ok = false;
  if (tooLarge) {
    error = "The download from " + url + " is larger than any metadata file.";
  } else if (cancelled) {
    error = "The download from " + url + " was cancelled.";
  } else if (pastDeadline) {
    error = "The download from " + url + " did not finish in time.";
  } else if (reply->error() != QNetworkReply::NoError) {
    error = "The download from " + url + " failed: " + reply->errorString().toStdString() + ".";
  } else {
    const QByteArray body = reply->readAll();
    bytes.assign(body.begin(), body.end());
    ok = true;
  }
  reply->deleteLater();
  if (late != nullptr) *late = pastDeadline;
  return ok;
}

bool UpdateMetadataCache(const MetadataOptions& options, const WallClock& clock,
                         const std::string& cachePath, std::string& message,
                         const DownloadProgress& progress) {
  const DownloadDeadline deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
  bool late = false;
  const auto timedOut = [&] {
    if (!late) return false;
    message = "The metadata download did not finish within " +
              std::to_string(options.timeoutSeconds) + " seconds; the cached copy is unchanged.";
    return true;
  };
  TrustStore trust;
  if (!LoadTrustRoots(options.roots, trust, message)) return false;
  const std::string url = options.url.empty() ? DEFAULT_MDS_URL : options.url;
  std::vector<uint8_t> bytes;
  if (!DownloadMetadata(url, bytes, message, progress, deadline, &late)) {
    if (!timedOut()) message += " The cached copy is unchanged.";
    return false;
  }

  // The lists named by the file's own chain; the cached ones stand in for a
  // list that cannot be had now.
  MdsBlob blob;
  LoadMdsBlob(bytes.data(), bytes.size(), trust, clock, blob);
  LoadCachedRevocationLists(cachePath, trust);
  std::string notes;
  bool listsAdded = false;
  for (const MdsCrlSource& source : blob.crlSources) {
    std::vector<uint8_t> list;
    std::string error;
    if (!DownloadMetadata(source.address, list, error, progress, deadline, &late)) {
      if (timedOut()) return false;
      notes += " " + error + " Revocation is checked without that list.";
    } else if (!ListsSignedBy(list, source.issuer)) {
      notes += " The revocation list from " + source.address +
               " is not signed by the certificate that should sign it; it is not used.";
    } else {
      listsAdded = trust.revocationLists().AddPemOrDer(list) > 0 || listsAdded;
    }
  }
  // Authentic lists are kept even when they revoke the file's signer: they
  // then reject a cached copy signed by it as well.
  std::string listError;
  if (listsAdded && !StoreRevocationLists(trust, cachePath, listError)) notes += " " + listError;
  const bool stored = StoreVerifiedDownload(bytes, trust, clock, cachePath, message);
  message += notes;
  return stored;
}

bool RunMetadataUpdateCommand(const MetadataOptions& options, std::ostream& err) {
  const std::string url = options.url.empty() ? DEFAULT_MDS_URL : options.url;
  err << "quillmark: downloading the metadata file from " << url << " ..." << std::endl;
  std::string message;
  const bool stored = UpdateMetadataCache(options, SystemWallClock(), MetadataCachePath(), message);
  err << "quillmark: " << message << "\n";
  return stored;
}
