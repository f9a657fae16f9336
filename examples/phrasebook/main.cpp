#include "Phrasebook.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Phrasebook");
    return phrasebook::Run(QApplication::arguments());
}
