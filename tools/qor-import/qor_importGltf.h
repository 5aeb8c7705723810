// A look at a glTF document before Assimp reads it: Assimp's glTF reader follows the node
// hierarchy and the JSON nesting by recursion, so a 100,000-deep node chain (or node list that
// loops) overflows its stack. The check walks the "nodes" array's "children" without recursion.
#pragma once

#include <cstddef>
#include <string>

// Deepest node hierarchy and JSON nesting taken.
constexpr size_t kQorImportMaxNodeDepth = 1024;
constexpr size_t kQorImportMaxJsonDepth = 512;

// Whether the file's name or first bytes say glTF (".gltf", ".glb", or the binary magic).
bool qoru_importIsGltf(const std::string & strPath, const std::string & strHead);

// Checks a glTF document (the JSON text, or a binary glTF whose first chunk is the JSON): false
// with *pstrWhy when its nodes nest deeper than kQorImportMaxNodeDepth, a node is its own
// ancestor, or the JSON nests deeper than kQorImportMaxJsonDepth. A document it cannot make
// sense of passes (Assimp's reader reports it).
bool qoru_importCheckGltf(const std::string & strData, std::string * pstrWhy);
