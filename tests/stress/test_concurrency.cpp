// The communication loop runs against the simulator while screen threads read, write,
// ask for one-shot reads and rebuild the read list, and the callbacks fire. Meant for
// the ThreadSanitizer build, where any race fails the test; in every build it checks
// that nothing deadlocks (a watchdog ends the process with a message), that the last
// value each screen writes reaches the PLC, and that a screen never sees a block half
// stored: the PLC changes all ten words of D1000..D1009 together, so a screen read of
// the block must always find ten equal words.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver_fixture.h"
#include "driver_lock.h"
#include "loopback_host.h"
#include "plcsim/sim_server.h"

namespace {

using plcsim::Area;

enum {
    SCREENS = 3,
    SCREEN_ROUNDS = 400,  // at least this many rounds per screen,
    MIN_EXCHANGES = 1500, // and on until the loop has made this many exchanges,
    SCREEN_SECONDS = 10,  // but never longer than this
    MAX_ROUNDS = 1000000,
    BLOCK = 1000, // D1000..D1009: always ten equal words in the PLC
    BLOCK_WORDS = 10,
    WRITE_BASE = 2000, // each screen writes D2000 + 8 * screen .. + 7
    WRITE_SLOTS = 8,
    BIT_WORD = 10, // each screen writes CIO 10.<screen>
    HOST_TIMEOUT_MS = 5000,
    WATCHDOG_SECONDS = 120,
    DRAIN_SECONDS = 60
};

// Fails the whole test process with a message when the test does not finish in time:
// a deadlock shows as this message instead of a hang.
class Watchdog {
  public:
    explicit Watchdog(const char* what) : thread_([this, what] { watch(what); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

  private:
    void watch(const char* what) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (cv_.wait_for(lock, std::chrono::seconds(WATCHDOG_SECONDS), [this] { return done_; }))
            return;
        std::fprintf(stderr, "watchdog: %s did not finish within %d s - a deadlock?\n", what,
                     WATCHDOG_SECONDS);
        std::fflush(stderr);
        std::_Exit(1);
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

std::atomic<int> once_ok{0}, once_failed{0}, comm_failures{0}, callback_reads{0};

// Callbacks run with list_mutex held: they may read the store (data_mutex comes after
// list_mutex in the lock order) but must not call anything that takes list_mutex.
void onceDone(int, int, int, int status) {
    (status == 1 ? once_ok : once_failed)++;
    QString text = QString::number(BLOCK);
    QByteArray out;
    if (GetRegisterData(nullptr, 11, &text, 1, &out, BLOCK_WORDS) == 1) callback_reads++;
}

void commFail(QList<RW_VAR>*, int, int) {
    comm_failures++;
}

int wordAt(const QByteArray& b, int k) {
    return static_cast<unsigned char>(b[2 * k]) | (static_cast<unsigned char>(b[2 * k + 1]) << 8);
}

class ConcurrencyStress : public DriverTest, public ::testing::WithParamInterface<int> {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        com.multi_station = GetParam();
        com.retry_limit = 3;
        RegistCallBackFuncIntf(onceDone, commFail);
        plcsim::SimConfig config;
        config.port = 0;
        sim.reset(new plcsim::SimServer(config));
        std::string error;
        ASSERT_TRUE(sim->start(&error)) << error;
        sim->runInBackground();
        vars = screenVariables();
        ASSERT_GT(ReCreatReadVarList(&vars), 0);
    }

    static VAR_DESC var(int type, const char* address, int length) {
        VAR_DESC d = VAR_DESC();
        d.reg_type = static_cast<unsigned char>(type);
        d.station = 1;
        d.addr_text = address;
        d.name = address;
        d.length = length;
        return d;
    }

    static QList<VAR_DESC> screenVariables() {
        return {var(11, "1000", BLOCK_WORDS),
                var(11, "2000", SCREENS * WRITE_SLOTS),
                var(0, "10.00", 16),
                var(7, "0", 20),
                var(5, "3", 10),
                var(13, "7", 3)};
    }

    // The PLC side: the block changes as a whole, again and again.
    void plcWriter() {
        for (uint16_t v = 1; !stop_plc.load(); ++v)
            sim->memory().writeWords(Area::D, BLOCK, std::vector<uint16_t>(BLOCK_WORDS, v));
    }

    // The host's communication thread: turns until asked to stop; once draining, it
    // reports when every queued write has been answered.
    void communicationLoop() {
        LoopbackHost host(sim->port(), HOST_TIMEOUT_MS);
        while (!stop_loop.load()) {
            const Exchange ex = host.turn();
            if (ex.sent)
                exchanges++;
            else
                std::this_thread::yield();
            if (draining.load() && queuesEmpty()) {
                std::lock_guard<std::mutex> lock(drain_mutex);
                drained = true;
                drain_cv.notify_all();
            }
        }
    }

    bool queuesEmpty() {
        DriverLock lock(PLC_driver.list_mutex);
        return PLC_driver.write_list.isEmpty() && PLC_driver.once_list.isEmpty() &&
               PLC_driver.protocol_list.isEmpty();
    }

    void screen(int id) {
        QString name = QStringLiteral("screen");
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(SCREEN_SECONDS);
        for (int round = 0; round < MAX_ROUNDS; ++round) {
            if (round >= SCREEN_ROUNDS &&
                (exchanges.load() >= MIN_EXCHANGES || std::chrono::steady_clock::now() > deadline))
                break;
            // The block: all ten words equal, whatever moment the read falls on.
            QString block = QString::number(BLOCK);
            QByteArray out;
            if (GetRegisterData(nullptr, 11, &block, 1, &out, BLOCK_WORDS) == 1 &&
                out.size() == 2 * BLOCK_WORDS) {
                for (int k = 1; k < BLOCK_WORDS; ++k)
                    if (wordAt(out, k) != wordAt(out, 0)) torn_reads++;
            }
            // A word and a bit of this screen's own.
            const int address = WRITE_BASE + WRITE_SLOTS * id + round % WRITE_SLOTS;
            const int value = (id * 20000 + round) & 0xFFFF;
            QString text = QString::number(address);
            QByteArray bytes;
            bytes.append(static_cast<char>(value & 0xFF)).append(static_cast<char>(value >> 8));
            if (SetRegisterData(&name, 11, &text, 1, &bytes, 1, 1 + id, round) > 0)
                last_word[id][address] = value;
            QString bit = QStringLiteral("%1.%2").arg(BIT_WORD).arg(id);
            QByteArray on(1, static_cast<char>(round & 1));
            if (SetRegisterData(&name, 0, &bit, 1, &on, 1, 1 + id, round) > 0)
                last_bit[id] = round & 1;
            if (round % 10 == 0) {
                RW_VAR once = RW_VAR();
                once.req_kind = 5;
                once.req_id = id;
                once.reg_type = 11;
                once.addr_text = QString::number(BLOCK);
                once.station = 1;
                once.length = BLOCK_WORDS;
                AddListOnceReadVar(&once, 0);
            }
            if (round % 50 == 25) {
                QList<VAR_DESC> mine = screenVariables();
                ReCreatReadVarList(&mine);
            }
        }
    }

    std::unique_ptr<plcsim::SimServer> sim;
    QList<VAR_DESC> vars;
    std::atomic<bool> stop_plc{false}, stop_loop{false}, draining{false};
    std::atomic<int> torn_reads{0}, exchanges{0};
    std::map<int, int> last_word[SCREENS];
    int last_bit[SCREENS] = {};
    std::mutex drain_mutex;
    std::condition_variable drain_cv;
    bool drained = false;
};

TEST_P(ConcurrencyStress, ScreensAndTheLoopAgree) {
    Watchdog watchdog("the concurrency stress test");
    std::thread plc([this] { plcWriter(); });
    std::thread loop([this] { communicationLoop(); });
    std::vector<std::thread> screens;
    for (int id = 0; id < SCREENS; ++id)
        screens.emplace_back([this, id] { screen(id); });
    for (std::thread& t : screens)
        t.join();

    // Let the loop send what the screens queued last, then stop everything.
    draining = true;
    bool all_sent;
    {
        std::unique_lock<std::mutex> lock(drain_mutex);
        all_sent = drain_cv.wait_for(lock, std::chrono::seconds(DRAIN_SECONDS),
                                     [this] { return drained; });
    }
    stop_loop = true;
    loop.join();
    stop_plc = true;
    plc.join();

    ASSERT_TRUE(all_sent) << "the queued writes were not sent within " << DRAIN_SECONDS << " s";
    EXPECT_GT(exchanges.load(), SCREEN_ROUNDS);
    EXPECT_EQ(torn_reads.load(), 0);
    EXPECT_EQ(comm_failures.load(), 0);
    EXPECT_EQ(once_failed.load(), 0);
    EXPECT_GT(once_ok.load(), 0);
    EXPECT_EQ(callback_reads.load(), once_ok.load() + once_failed.load());
    // No give-up happened, so the last value of every address reached the PLC, and the
    // screens' store shows it too.
    for (int id = 0; id < SCREENS; ++id) {
        for (const auto& w : last_word[id]) {
            EXPECT_EQ(sim->memory().word(Area::D, static_cast<uint32_t>(w.first)), w.second)
                << "D" << w.first;
            QString text = QString::number(w.first);
            QByteArray out;
            ASSERT_EQ(GetRegisterData(nullptr, 11, &text, 1, &out, 1), 1);
            EXPECT_EQ(wordAt(out, 0), w.second) << "screen D" << w.first;
        }
        EXPECT_EQ(sim->memory().bit(Area::CIO, BIT_WORD, static_cast<unsigned>(id)),
                  last_bit[id] == 1)
            << "CIO " << BIT_WORD << "." << id;
    }
}

INSTANTIATE_TEST_SUITE_P(StationModes, ConcurrencyStress, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param ? "MultiStation" : "SingleStation");
                         });

} // namespace
