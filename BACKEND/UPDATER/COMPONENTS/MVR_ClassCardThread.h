#pragma once

#include <QObject>
#include <QThread>

#include <mutex>
#include <vector>

// Worker thread of one card. Updaters are built on the model's thread and
// handed over here; they are deleted here when the thread's loop ends (at
// quit or when the card goes). Every hand-over in either direction goes
// through one mutex, so the hand-over is ordered for the program and for
// thread checkers alike, not only through the framework's event queue.
class CLASS_CARD_THREAD : public QThread
{
    Q_OBJECT
public:
    explicit CLASS_CARD_THREAD(QObject* parent = nullptr);
    // Waits for the thread; deletes what it never got to delete.
    ~CLASS_CARD_THREAD() override;

    // Moves object to this thread, which deletes it when its loop ends.
    // Called on the thread that owns the card, after object is fully built.
    void Adopt(QObject* object);
    // Ask the loop to end, from any thread; what the caller did with the
    // adopted objects before is ordered before their deletion. They hide
    // QThread's own, so a stop through GetThread() of the card is ordered too.
    void exit(int returnCode = 0);
    void quit() { exit(0); }
    void RequestStop() { exit(0); }
    // Takes the hand-over back after the thread has ended: everything the
    // thread did before ending is visible to the caller afterwards.
    void Reclaim();

    static std::mutex& HandOffMutex();

protected:
    void run() override;

private:
    QObject* m_Filter;               // lives on this thread; guarded by HandOffMutex
    std::vector<QObject*> m_Adopted; // guarded by HandOffMutex
};
