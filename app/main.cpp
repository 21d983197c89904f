#include "app/startup.h"

int main(int argc, char **argv)
{
    return korvane::programEntry(argc, argv);
}
