// The secure preferences store reading an arbitrary preferences file (written to the user's
// file, the common fallback file or an explicit path in the scratch folder), with a fixed key
// source standing for the machine and the user. Checked on every input:
//  - a read gives a documented status; the size query and the buffered read agree, and a
//    buffer one byte short is refused without being overrun;
//  - a write that succeeds reads back exactly, leaves every other value that could be read
//    before as it was, leaves the file mode 0600 and no temporary file beside it;
//  - a write that fails on an existing file leaves the file byte for byte as it was.
#include <unistd.h>

#include "fuzz_support.h"
#include "prefs/key_material.h"
#include "prefs/secure_prefs.h"
#include "prefs/xml_parser.h"

namespace prefs = corvel::prefs;
using corvel::fuzz::Scratch;

namespace {

const char* const kNames[] = {"DefaultDomain", "ProxyCredentials", "User", "Password", "k",
                              "TAVPrefs",      "a-b.c_d",          "x1"};

// A domain or key: one of the usual names, an arbitrary text, or null.
std::optional<std::string> PickName(FuzzedDataProvider& in) {
  const int kind = in.ConsumeIntegralInRange(0, 5);
  if (kind == 0) return std::nullopt;
  if (kind == 1) return std::string(in.ConsumeRandomLengthString(24).c_str());
  return std::string(kNames[in.ConsumeIntegralInRange<size_t>(0, std::size(kNames) - 1)]);
}

const char* Text(const std::optional<std::string>& name) { return name ? name->c_str() : nullptr; }

// Reads a value through the size query and a buffer of exactly that size; nullopt when the
// value cannot be read.
std::optional<std::string> Read(const char* domain, const char* key, const char* path) {
  uint32_t size = 0;
  const int status = prefs::GetPrefValue(domain, key, nullptr, &size, path);
  FUZZ_CHECK(status == prefs::kPrefsSuccess || status == prefs::kPrefsFailed ||
                 status == prefs::kPrefsNoFile || status == prefs::kPrefsInvalidArgument,
             "size query status " + std::to_string(status));
  if (status != prefs::kPrefsSuccess) return std::nullopt;
  FUZZ_CHECK(size >= 1, "size query without room for the terminator");
  // A buffer one byte short is refused, one of the queried size filled; neither is overrun
  // (each is exactly that long).
  std::vector<char> buffer;
  for (uint32_t room = size > 1 ? size - 1 : size; room <= size; ++room) {
    buffer.assign(room, 'x');
    uint32_t given = room;
    const int got = prefs::GetPrefValue(domain, key, buffer.data(), &given, path);
    FUZZ_CHECK(got == (room < size ? prefs::kPrefsBufferTooSmall : prefs::kPrefsSuccess),
               "a buffer of " + std::to_string(room) + " got " + std::to_string(got));
  }
  FUZZ_CHECK(buffer[size - 1] == '\0' && std::strlen(buffer.data()) == size - 1,
             "the value does not fill the queried size");
  return std::string(buffer.data());
}

// The user's file, the common fallback file and an explicit path.
std::vector<std::string> files;

}  // namespace

void corvel::fuzz::FuzzSetUp() {
  static const prefs::FixedKeyMaterial kKeyMaterial("fuzz-machine-0123456789abcdef", "fuzzer");
  prefs::SetKeyMaterialSource(&kKeyMaterial);
  // Every log level on, so that the log lines are formatted too.
  corvel::fuzz::WriteWholeFile(Scratch().temp() + "/qiv.trace", "");
  files = {Scratch().local_appdata() + "/Corvel/TAV/securePrefs.xml",
           Scratch().common_files() + "/Corvel/TAV/securePrefs.xml", Scratch().Path("prefs.xml")};
  for (const std::string& file : files) fs::create_directories(fs::path(file).parent_path());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int where = in.ConsumeIntegralInRange(0, 3);  // user, common, explicit, no file
  const auto domain = PickName(in), key = PickName(in);
  const auto otherDomain = PickName(in), otherKey = PickName(in);
  const std::string value = in.ConsumeRandomLengthString(80).c_str();
  const std::string file = in.ConsumeBytesAsString(in.remaining_bytes());

  for (const std::string& path : files) unlink(path.c_str());
  // A fresh log for every input, so that it does not grow without end.
  prefs::UninitPrefs();
  unlink((Scratch().temp() + "/Velmo.log").c_str());
  prefs::InitPrefs();

  const char* explicitPath = where == 2 ? files[2].c_str() : nullptr;
  if (where != 3) corvel::fuzz::WriteWholeFile(files[where], file);

  const std::optional<std::string> other = Read(Text(otherDomain), Text(otherKey), explicitPath);
  (void)Read(Text(domain), Text(key), explicitPath);

  // Writes go to the user's file unless a path is given; the common file is only read.
  const std::string& target = files[explicitPath ? 2 : 0];
  const std::optional<std::string> before = corvel::fuzz::ReadWholeFile(target);
  const int status = prefs::SetPrefValue(Text(domain), Text(key), value.c_str(), explicitPath);
  for (const auto& entry : fs::directory_iterator(fs::path(target).parent_path())) {
    FUZZ_CHECK(entry.path().filename().string().rfind(prefs::kSaveTempPrefix, 0) != 0,
               "a temporary file was left beside the file");
  }
  if (status != prefs::kPrefsSuccess) {
    FUZZ_CHECK(!before || corvel::fuzz::ReadWholeFile(target) == before,
               "a failed write changed the file");
  } else {
    FUZZ_CHECK((fs::status(target).permissions() & fs::perms::all) ==
                   (fs::perms::owner_read | fs::perms::owner_write),
               "the written file is not mode 0600");
    FUZZ_CHECK(Read(Text(domain), Text(key), explicitPath) == value,
               "a written value does not read back");
    // Another value (a null domain is the default one) read from the file the write went to
    // stays as it was.
    const bool sameValue =
        key && key == otherKey &&
        domain.value_or("DefaultDomain") == otherDomain.value_or("DefaultDomain");
    FUZZ_CHECK(!other || sameValue || !(explicitPath || where == 0) ||
                   Read(Text(otherDomain), Text(otherKey), explicitPath) == other,
               "a write changed another value");
  }
  prefs::UninitPrefs();
  return 0;
}
