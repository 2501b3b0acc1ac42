// Where the preference key's inputs come from: a text that names the machine and the name of
// the user. The system source reads them from the platform; a test may put its own source in
// place to play another user or another machine.
#pragma once

#include <string>

namespace corvel::prefs {

class KeyMaterialSource {
 public:
  virtual ~KeyMaterialSource() = default;
  // The machine text; empty when the machine gives none (the fixed fallback number is then
  // used in its place).
  virtual std::string MachineText() const = 0;
  // The user name; false with an error number when it cannot be read.
  virtual bool UserName(std::string* name, int* error) const = 0;
};

// The machine identifier and the effective user's name.
const KeyMaterialSource& SystemKeyMaterial();

// The source every key derivation of this process uses.
const KeyMaterialSource& CurrentKeyMaterial();
// Puts `source` in place for the whole process (not owned; it must outlive its use); null
// puts the system source back.
void SetKeyMaterialSource(const KeyMaterialSource* source);

// A source with fixed texts. An empty user name makes UserName fail.
class FixedKeyMaterial : public KeyMaterialSource {
 public:
  FixedKeyMaterial(std::string machine, std::string user)
      : mMachine(std::move(machine)), mUser(std::move(user)) {}
  std::string MachineText() const override { return mMachine; }
  bool UserName(std::string* name, int* error) const override;

 private:
  std::string mMachine;
  std::string mUser;
};

// Puts a source in place for the life of the object and the previous one back afterwards.
class ScopedKeyMaterial {
 public:
  explicit ScopedKeyMaterial(const KeyMaterialSource& source);
  ~ScopedKeyMaterial();
  ScopedKeyMaterial(const ScopedKeyMaterial&) = delete;
  ScopedKeyMaterial& operator=(const ScopedKeyMaterial&) = delete;

 private:
  const KeyMaterialSource* mPrevious;
};

}  // namespace corvel::prefs
