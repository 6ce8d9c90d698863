#pragma once

#include "data/gridmodel.h"

#include <QString>

#include <algorithm>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class QTemporaryFile;

// The rows of a result of any size. One writer (the client's worker) appends
// rows while readers (the window, the export and print workers) read the rows
// published so far.
//
// A row is its cells one after another, each as its length and its bytes, NULL
// kept apart from the empty text. Rows sit in pages, each page with the
// offsets of its rows. Pages stay in memory while the memory that the pages
// of all stores take together stays within the budget; the pages after that
// are appended to a temporary file in the system's temporary folder (readable
// by its owner only, without a name in the folder where the system allows,
// and gone with the store or the process) and read back through a mapping.
//
// A published row never changes and never moves: a cell's address stays
// valid for as long as the store lives.
class RowStore : public GridRowSource
{
public:
    static constexpr qint64 DefaultBudget = 256LL * 1024 * 1024;

    // tempFolder: where the file goes; empty: the system's temporary folder.
    explicit RowStore(int columns, qint64 memoryBudget = DefaultBudget, const QString &tempFolder = QString());
    ~RowStore() override;
    RowStore(const RowStore &) = delete;
    RowStore &operator=(const RowStore &) = delete;

    // --- The writer's side (one thread) ---
    // One row of columnCount() cells; cells[i] == nullptr is NULL, lengths[i]
    // the cell's bytes. False when the row could not be kept (the temporary
    // file could not be made or written; errorString() says why): the rows
    // before it stay readable, no later row is taken.
    bool appendRow(const char *const *cells, const unsigned long *lengths);
    // Makes the rows appended so far readable.
    void publish();
    QString errorString() const;

    // --- Readers (any thread) ---
    int rowCount() const override;
    int columnCount() const override { return m_columns; }
    const char *cell(int row, int column) const override;
    int cellLength(int row, int column) const override;
    // The cell's bytes (not followed by a zero byte) and their length;
    // nullptr for NULL.
    const char *cellBytes(int row, int column, int *length) const override;
    qint64 memoryBudget() const override { return m_budget; }
    QString temporaryFolder() const override { return m_tempFolder; }
    bool rowsInFile() const override { return spilled(); }

    // Rows appended, published or not (the writer's count).
    int appendedRows() const { return m_appended; }
    bool spilled() const;
    qint64 memoryBytes() const;  // pages held in memory
    qint64 fileBytes() const;    // bytes written to the temporary file
    // Pages read through the mapping go back to the system (they are read
    // from the file again when needed). Readers need not call it: once the
    // pages read from the file since the last release may exceed the file
    // window, the store releases them itself, so that a pass over all rows
    // keeps about a window's bytes of the file resident, not all it read.
    void releaseFilePages() const;
    static constexpr qint64 DefaultFileWindow = 32LL * 1024 * 1024;
    void setFileWindow(qint64 bytes) { m_fileWindow = std::max<qint64>(bytes, 0); }

    // What the pages of all stores hold in memory together.
    static qint64 memoryInUse();

private:
    struct Page
    {
        int firstRow = 0;
        int rows = 0;              // published rows
        char *memory = nullptr;    // a page in memory (owned); nullptr: in the file
        quint32 capacity = 0;      // of a page in memory
        qint64 fileOffset = -1;    // of a page in the file
        quint32 dataBytes = 0;     // of a page in the file: its rows, then their offsets
        quint32 fileBytes = 0;     // the page's bytes in the file
        const char *mapped = nullptr; // a page in the file, larger than a segment: its own mapping
    };
    struct Located
    {
        const char *base = nullptr;
        const char *slotEnd = nullptr; // row i's offset is the quint32 at slotEnd - 4 * (i + 1)
        int firstRow = 0;
    };

    bool locate(int row, Located *where) const;
    static void releaseRange(const char *start, qint64 size);
    const char *mapSegment(qint64 index) const;
    bool finishOpenPage();
    bool startPage(quint64 rowBytes);
    bool ensureFile();
    bool writeSpillPage();
    bool fail(const QString &message);

    const int m_columns;
    const qint64 m_budget;
    const QString m_tempFolder;

    // Writer state
    int m_appended = 0;
    bool m_failed = false;
    bool m_spilling = false; // new pages go to the file
    char *m_open = nullptr;  // the page being filled: a page in memory, or the spill buffer
    quint32 m_openCapacity = 0;
    quint32 m_openUsed = 0;
    int m_openRows = 0;
    int m_openFirstRow = 0;
    bool m_openInMemory = false;
    quint32 m_nextPageBytes;
    std::vector<char> m_spillBuffer;

    // Shared with readers
    mutable std::mutex m_mutex; // the pages, the published count, the error
    std::vector<Page> m_pages;
    std::atomic<int> m_published{0};
    qint64 m_memoryBytes = 0;
    QString m_error;
    // What readers have brought in from the file since the last release
    std::atomic<qint64> m_fileWindow{DefaultFileWindow};
    mutable qint64 m_lastFilePage = -1;
    mutable qint64 m_readSinceRelease = 0;
    mutable std::vector<std::pair<const char *, qint64>> m_readPages;

    // The temporary file and its mappings, in segments
    mutable std::mutex m_fileMutex;
    std::unique_ptr<QTemporaryFile> m_file;
    qint64 m_fileEnd = 0;
    qint64 m_fileSize = 0;
    mutable std::vector<const char *> m_segments;
    mutable std::vector<std::pair<const char *, qint64>> m_ownMappings;
};
