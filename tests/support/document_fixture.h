// SPDX-License-Identifier: GPL-3.0-or-later
// Test fixture base: a Document over a fresh table file in a temporary folder.
#pragma once

#include "document/document.h"

#include <QTemporaryDir>

#include <filesystem>
#include <memory>

namespace zelt::test {

/// A Document whose table "way.db" is created and opened in a temporary folder that lives as
/// long as the fixture. No field rules are attached.
class DocumentFixture {
public:
    DocumentFixture()
    {
        doc->table.setPath(path);
        doc->table.create();
        doc->table.open();
    }

    QTemporaryDir dir;
    std::filesystem::path path = std::filesystem::path(dir.path().toStdString()) / "way.db";
    std::unique_ptr<zelt::document::Document> doc = std::make_unique<zelt::document::Document>();
};

}  // namespace zelt::test
