#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardThread.h"

#include <QEvent>

namespace
{
// Runs on the card's thread before each event of an adopted object: taking
// the hand-over mutex there orders the object's construction before its use.
class CLASS_HAND_OFF_FILTER : public QObject
{
public:
    bool eventFilter(QObject*, QEvent*) override
    {
        std::lock_guard<std::mutex> lock(CLASS_CARD_THREAD::HandOffMutex());
        return false;
    }
};
} // namespace

CLASS_CARD_THREAD::CLASS_CARD_THREAD(QObject* parent) : QThread(parent), m_Filter(new CLASS_HAND_OFF_FILTER)
{
    m_Filter->moveToThread(this);
}

CLASS_CARD_THREAD::~CLASS_CARD_THREAD()
{
    RequestStop();
    wait();
    // Left when the loop never ran or ended before they came: nothing runs them.
    std::vector<QObject*> remaining;
    QObject* filter = nullptr;
    {
        std::lock_guard<std::mutex> lock(HandOffMutex());
        remaining.swap(m_Adopted);
        std::swap(filter, m_Filter);
    }
    for (QObject* object : remaining)
        delete object;
    delete filter;
}

std::mutex& CLASS_CARD_THREAD::HandOffMutex()
{
    static std::mutex mutex;
    return mutex;
}

void CLASS_CARD_THREAD::Adopt(QObject* object)
{
    object->moveToThread(this);
    // Released after the object is built and moved: the thread's first event
    // for it acquires this.
    std::lock_guard<std::mutex> lock(HandOffMutex());
    if (m_Filter)
        object->installEventFilter(m_Filter);
    m_Adopted.push_back(object);
}

void CLASS_CARD_THREAD::exit(int returnCode)
{
    // An updater blocked in one of its waits stops waiting.
    requestInterruption();
    {
        std::lock_guard<std::mutex> lock(HandOffMutex());
    }
    QThread::exit(returnCode);
}

void CLASS_CARD_THREAD::Reclaim()
{
    std::lock_guard<std::mutex> lock(HandOffMutex());
}

void CLASS_CARD_THREAD::run()
{
    exec();
    std::vector<QObject*> adopted;
    {
        std::lock_guard<std::mutex> lock(HandOffMutex());
        adopted.swap(m_Adopted);
    }
    // Outside the lock: a dying object may still send events to itself.
    for (QObject* object : adopted)
        delete object;
    std::lock_guard<std::mutex> lock(HandOffMutex());
    delete m_Filter;
    m_Filter = nullptr;
}
