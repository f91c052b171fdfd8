// Fuzz target over the archive tool's OBJ importer: any text either fails
// with a message or gives whole triangles of finite numbers, a mesh entry the
// player would read.
#include "tools/zartool/import.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<float> triangles;
    std::string err;
    if (!zartool::ImportObj(std::string(reinterpret_cast<const char *>(data), size), "in.obj", &triangles, &err)) {
        if (err.rfind("in.obj", 0) != 0)
            std::abort();
        return 0;
    }
    if (triangles.empty() || triangles.size() % 9 != 0)
        std::abort();
    for (float v : triangles)
        if (!std::isfinite(v))
            std::abort();
    if (!zarw::Check({"mesh", 15, zarw::MeshPayload(triangles)}).empty())
        std::abort();
    return 0;
}
