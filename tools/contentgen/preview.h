// The preview for people: a contact sheet of every picture (reassembled from
// its tiles), the meshes' silhouettes and the mascot's echo fan as its scene
// frames it, and a text list of the entries with their shapes.
#pragma once

#include <string>
#include <vector>

#include "tools/zarwrite/zarwrite.h"

namespace content {

// Writes OUTDIR/contact_sheet.png, OUTDIR/entries.txt and one PNG per item
// (OUTDIR/<entry>.png, ferretoid_fan.png, column_backdrop.png).
bool WritePreview(const std::vector<zarw::Entry> &entries, const std::string &out_dir, std::string *err);

} // namespace content
