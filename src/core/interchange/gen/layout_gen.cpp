// SPDX-License-Identifier: GPL-3.0-or-later
// Build-time tool: writes the fixed layout files into the folder given on the command line.
#include "interchange/fixed_layouts.h"
#include "interchange/layout_stream.h"

#include <exception>
#include <filesystem>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: zelt-layout-gen FOLDER\n";
        return 2;
    }
    try {
        const std::filesystem::path dir = argv[1];
        std::filesystem::create_directories(dir);
        for (const auto& layout : zelt::interchange::fixedLayouts())
            zelt::interchange::saveGridLayout(layout.columns, dir / layout.fileName);
    } catch (const std::exception& e) {
        std::cerr << "zelt-layout-gen: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
