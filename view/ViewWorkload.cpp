#include "view/ViewWorkload.h"

namespace tarvik {

std::string viewWorkloadScreen(int cols, int rows, int seed) {
    std::string out = "\x1b[H\x1b[2J";
    for (int row = 0; row < rows; ++row) {
        out += "\x1b[" + std::to_string(row + 1) + ";1H";
        int col = 0;
        int word = 0;
        while (col + 12 < cols) {
            const int colour = (row * 7 + word * 3 + seed) % 16;
            switch (word % 6) {
            case 0: out += "\x1b[3" + std::to_string(colour % 8) + "mword"; col += 4; break;
            case 1: out += "\x1b[1;9" + std::to_string(colour % 8) + "mBOLD"; col += 4; break;
            case 2:
                out += "\x1b[38;2;" + std::to_string(colour * 16) + ";100;200m\u4e2d\u6587";
                col += 4;
                break;
            case 3: out += "\x1b[7me\u0301t\u00e9"; col += 3; break;
            case 4: out += "\x1b]8;;https://example.org/" + std::to_string(row) + "\x1b\\link\x1b]8;;\x1b\\"; col += 4; break;
            default: out += "\x1b[48;5;" + std::to_string(16 + colour * 10) + "m1234"; col += 4; break;
            }
            out += "\x1b[0m ";
            ++col;
            ++word;
        }
    }
    return out;
}

} // namespace tarvik
