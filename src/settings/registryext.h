#pragma once
// The settings store: the registry of the design realised as QSettings in INI format
// (organisation "Halvorin", application "Sonivex", so the user's XDG config folder).
// Sections are groups; booleans are stored as 0 and 1; string lists keep empty items
// and empty lists exactly. A missing value means the reader's default.

#include <QSettings>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <stdexcept>

class ERegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TRegistryExt {
 public:
  // The user's store.
  TRegistryExt();
  // An explicit INI file: tests and tools point the store at a folder of their own.
  explicit TRegistryExt(const QString& iniFile);

  QString FileName() const { return Settings_->fileName(); }

  // Makes `section` ("General", "MainForm", ...) the current one; sections need no
  // creating. Returns true.
  bool OpenKey(const QString& section, bool canCreate = true);
  void CloseKey();
  QString CurrentKey() const { return Section_; }

  bool ValueExists(const QString& name) const;
  void DeleteValue(const QString& name);

  int32_t ReadInteger(const QString& name, int32_t defaultValue = 0) const;
  void WriteInteger(const QString& name, int32_t value);
  // Any non-zero integer reads as true.
  bool ReadBool(const QString& name, bool defaultValue = false) const;
  void WriteBool(const QString& name, bool value);
  QString ReadString(const QString& name, const QString& defaultValue = {}) const;
  void WriteString(const QString& name, const QString& value);
  // 0x00BBGGRR, or 0xFF0000nn for system colour nn; kept as the 32-bit value.
  uint32_t ReadColor(const QString& name, uint32_t defaultValue) const;
  void WriteColor(const QString& name, uint32_t value);

  void WriteStringList(const QString& name, const QStringList& list);
  QStringList ReadStringList(const QString& name) const;

  // Writes everything to disk; ERegistryError "Write param failed on <file>" when the
  // store cannot be written.
  void Flush();

 private:
  QString Key(const QString& name) const;

  std::unique_ptr<QSettings> Settings_;
  QString Section_;
};
