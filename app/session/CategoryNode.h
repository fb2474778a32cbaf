#pragma once

#include <QString>
#include <vector>

namespace tarvik {

// One node of the configuration window's category tree. The key is the
// English category name: it names the page and, through L, labels the node.
struct CategoryNode {
    QString key;
    std::vector<CategoryNode> children;

    // The fixed tree, roots in display order.
    static const std::vector<CategoryNode>& tree();
};

} // namespace tarvik
