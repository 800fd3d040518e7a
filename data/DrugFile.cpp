#include "data/DrugFile.h"

#include "data/DrugSchema.h"

DrugFile::DrugFile(const QString& programFolder)
    : m_programFolder(programFolder) {}

DrugFile::~DrugFile() {
    if (m_opening.valid())
        m_opening.wait();
}

QString DrugFile::path() const {
    return drugFilePath(m_programFolder);
}

void DrugFile::beginOpening() {
    if (m_opening.valid() || m_connection.isOpen())
        return;
    m_opening = std::async(std::launch::async, [this, path = path()] { m_connection.openFile(path, DrugPassword); });
}

void DrugFile::OpenDrugDatabase() {
    if (m_opening.valid()) {
        std::future<void> opening = std::move(m_opening);
        opening.get();
        return;
    }
    m_connection.openFile(path(), DrugPassword);
}
