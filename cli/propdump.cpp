// propdump: the editor's searches and bulk edits on the command line.
#include "cli/Commands.h"

int main(int argc, char** argv) {
    return RunPropdump(argc, argv);
}
