#include "StationProfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

namespace {

const char kGroup[] = "station";

QString Utf16(const std::string& text) { return QString::fromStdString(text); }

// `path` as the profile in `folder` means it.
std::string Resolved(const QDir& folder, const QString& path) {
  if (path.isEmpty()) return "";
  return QDir::cleanPath(folder.absoluteFilePath(path)).toStdString();
}

// `path` relative to `folder` when it lies inside it, else as it is.
QString Relative(const QDir& folder, const std::string& path) {
  if (path.empty()) return {};
  const QString absolute = QFileInfo(Utf16(path)).absoluteFilePath();
  const QString relative = folder.relativeFilePath(absolute);
  return relative.startsWith("..") ? absolute : relative;
}

}  // namespace

std::optional<StationProfile> LoadStationProfile(const std::string& path, std::string& error) {
  const QFileInfo file(Utf16(path));
  if (!file.isFile() || !file.isReadable()) {
    error = "the profile cannot be read";
    return std::nullopt;
  }
  QSettings settings(file.absoluteFilePath(), QSettings::IniFormat);
  if (settings.status() != QSettings::NoError) {
    error = "the profile is no INI file";
    return std::nullopt;
  }
  const QDir folder = file.absoluteDir();
  settings.beginGroup(kGroup);
  StationProfile profile;
  StationConfig& config = profile.config;
  config.imagePath = Resolved(folder, settings.value("image").toString());
  for (const QString& port : settings.value("ports").toStringList()) {
    const QString name = port.trimmed();
    if (!name.isEmpty()) config.ports.push_back(name.toStdString());
  }
  config.fast = settings.value("fast", false).toBool();
  config.recordPath = Resolved(folder, settings.value("record").toString());
  config.loop = settings.value("loop", false).toBool();
  bool numeric = true;
  const QVariant quiet = settings.value("rearmQuietMs");
  if (quiet.isValid()) {
    const int ms = quiet.toInt(&numeric);
    if (!numeric || ms < 1) {
      error = "rearmQuietMs must be a number of milliseconds above 0";
      return std::nullopt;
    }
    config.rearmQuiet = std::chrono::milliseconds(ms);
  }
  profile.locked = settings.value("locked", false).toBool();
  if (config.imagePath.empty()) {
    error = "the profile names no image";
    return std::nullopt;
  }
  if (config.ports.empty()) {
    error = "the profile names no port";
    return std::nullopt;
  }
  return profile;
}

std::string SaveStationProfile(const std::string& path, const StationProfile& profile) {
  const QFileInfo file(Utf16(path));
  const QDir folder = file.absoluteDir();
  QSettings settings(file.absoluteFilePath(), QSettings::IniFormat);
  settings.clear();
  settings.beginGroup(kGroup);
  const StationConfig& config = profile.config;
  settings.setValue("image", Relative(folder, config.imagePath));
  QStringList ports;
  for (const std::string& port : config.ports) ports << Utf16(port);
  settings.setValue("ports", ports);
  settings.setValue("fast", config.fast);
  settings.setValue("record", Relative(folder, config.recordPath));
  settings.setValue("loop", config.loop);
  settings.setValue("rearmQuietMs", static_cast<int>(config.rearmQuiet.count()));
  settings.setValue("locked", profile.locked);
  settings.endGroup();
  settings.sync();
  return settings.status() == QSettings::NoError ? "" : "the profile cannot be written";
}
