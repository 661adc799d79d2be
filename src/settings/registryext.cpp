#include "registryext.h"

TRegistryExt::TRegistryExt()
    : Settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Halvorin"),
                                            QStringLiteral("Sonivex"))) {}

TRegistryExt::TRegistryExt(const QString& iniFile)
    : Settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

bool TRegistryExt::OpenKey(const QString& section, bool) {
  Section_ = section;
  return true;
}

void TRegistryExt::CloseKey() { Section_.clear(); }

QString TRegistryExt::Key(const QString& name) const {
  return Section_.isEmpty() ? name : Section_ + QLatin1Char('/') + name;
}

bool TRegistryExt::ValueExists(const QString& name) const { return Settings_->contains(Key(name)); }

void TRegistryExt::DeleteValue(const QString& name) { Settings_->remove(Key(name)); }

int32_t TRegistryExt::ReadInteger(const QString& name, int32_t defaultValue) const {
  if (!ValueExists(name)) return defaultValue;
  bool ok = false;
  // Stored as text in the INI file; a value written as unsigned (a colour) reads back
  // as the same 32 bits.
  const qlonglong v = Settings_->value(Key(name)).toLongLong(&ok);
  return ok ? int32_t(uint32_t(v)) : defaultValue;
}

void TRegistryExt::WriteInteger(const QString& name, int32_t value) { Settings_->setValue(Key(name), value); }

bool TRegistryExt::ReadBool(const QString& name, bool defaultValue) const {
  if (!ValueExists(name)) return defaultValue;
  const QVariant v = Settings_->value(Key(name));
  bool ok = false;
  const qlonglong n = v.toLongLong(&ok);
  if (ok) return n != 0;
  // Hand-edited files may say true or false.
  const QString text = v.toString().trimmed().toLower();
  if (text == QLatin1String("true")) return true;
  if (text == QLatin1String("false")) return false;
  return defaultValue;
}

void TRegistryExt::WriteBool(const QString& name, bool value) { Settings_->setValue(Key(name), value ? 1 : 0); }

QString TRegistryExt::ReadString(const QString& name, const QString& defaultValue) const {
  if (!ValueExists(name)) return defaultValue;
  const QVariant v = Settings_->value(Key(name));
  // A text with a comma reads back as a list from an INI file; join it back.
  if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QLatin1String(", "));
  return v.toString();
}

void TRegistryExt::WriteString(const QString& name, const QString& value) { Settings_->setValue(Key(name), value); }

uint32_t TRegistryExt::ReadColor(const QString& name, uint32_t defaultValue) const {
  return ValueExists(name) ? uint32_t(ReadInteger(name, int32_t(defaultValue))) : defaultValue;
}

void TRegistryExt::WriteColor(const QString& name, uint32_t value) {
  Settings_->setValue(Key(name), qulonglong(value));
}

void TRegistryExt::WriteStringList(const QString& name, const QStringList& list) {
  Settings_->setValue(Key(name), list);
}

QStringList TRegistryExt::ReadStringList(const QString& name) const {
  if (!ValueExists(name)) return {};
  const QVariant v = Settings_->value(Key(name));
  // An empty list is stored as an invalid value, a list of one item as plain text.
  if (!v.isValid()) return {};
  return v.toStringList();
}

void TRegistryExt::Flush() {
  Settings_->sync();
  if (Settings_->status() != QSettings::NoError)
    throw ERegistryError("Write param failed on " + Settings_->fileName().toStdString());
}
