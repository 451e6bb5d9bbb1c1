// The settings file: whatever the reader accepts, the writer writes, and that reads back equal.
#include <cstddef>
#include <cstdint>
#include <sstream>

#include "config/settings_document.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vl::fuzz::QuietLog();
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::unique_ptr<Velmora> document;
    try {
        document = settings::Read(in);
    } catch (const xml_schema::exception&) {
        return 0;  // refused: the reader's only way to fail
    }
    std::string written;
    try {
        written = settings::Write(*document);
    } catch (const xml_schema::exception&) {
        VL_FUZZ_CHECK(!"a document that was read could not be written");
    }
    std::istringstream again(written);
    const std::unique_ptr<Velmora> reread = settings::Read(again);
    VL_FUZZ_CHECK(*reread == *document);
    return 0;
}
