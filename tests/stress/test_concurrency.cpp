// The host's communication loop (its own session code) runs against the simulator while
// screen threads read, write, ask for one-shot reads and rebuild the read list, and the
// callbacks read the store. Meant for the ThreadSanitizer build, where any race fails
// the test; in every build (a deadlock ends at the test's time limit) the last value
// each screen writes must reach the PLC, and a screen must never see a block half
// stored: the PLC changes all ten words of D1000..D1009 together.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>
#include <tuple>

#include "driver_lock.h"
#include "e2e_support.h"

namespace e2e {
namespace {

enum {
    SCREENS = 3,
    SCREEN_ROUNDS = 400,  // at least this many rounds per screen,
    MIN_EXCHANGES = 1500, // and on until the loop has made this many exchanges,
    SCREEN_SECONDS = 10,  // but never longer than this
    BLOCK = 1000,         // D1000..D1009: always ten equal words in the PLC
    BLOCK_WORDS = 10,
    WRITE_BASE = 2000, // each screen writes D2000 + 8 * screen .. + 7
    WRITE_SLOTS = 8,
    BIT_WORD = 10, // and CIO 10.<screen>
    ONCE_KIND = 5,
    HOST_TIMEOUT_MS = 5000,
    DRAIN_TURNS = 2000
};

const char kScreenTags[] = "block D 1000 10\n words D 2000 24\n bits CIO.bit 10.00 16\n"
                           "cio CIO 0 20\n tflags T.flag 3 10\n cpv C 7 3\n";

std::atomic<int> once_ok{0}, once_failed{0}, callback_reads{0};

// D words as a screen reads them from the driver's store; empty when refused.
std::vector<int> screenWords(int address, int count) {
    QString text = QString::number(address);
    QByteArray b;
    std::vector<int> words;
    if (GetRegisterData(nullptr, 11, &text, 1, &b, count) == 1)
        for (int k = 0; k + 1 < b.size(); k += 2)
            words.push_back(static_cast<uint8_t>(b[k]) | static_cast<uint8_t>(b[k + 1]) << 8);
    return words;
}

bool screenWrite(int reg_type, QString address, QByteArray data, int id, int round) {
    QString name = QStringLiteral("screen");
    return SetRegisterData(&name, reg_type, &address, 1, &data, 1, 1 + id, round) > 0;
}

// Callbacks run with list_mutex held: they may read the store (data_mutex comes after
// list_mutex in the lock order) but must not call anything that takes list_mutex.
void onceDone(int, int, int, int status) {
    (status == 1 ? once_ok : once_failed)++;
    callback_reads += screenWords(BLOCK, BLOCK_WORDS).size() == BLOCK_WORDS;
}

class ConcurrencyStress : public ::testing::TestWithParam<bool> {
  protected:
    void screen(int id) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(SCREEN_SECONDS);
        for (int round = 0; round < SCREEN_ROUNDS || (exchanges < MIN_EXCHANGES &&
                                                      std::chrono::steady_clock::now() < deadline);
             ++round) {
            const std::vector<int> block = screenWords(BLOCK, BLOCK_WORDS);
            if (block.size() == BLOCK_WORDS)
                torn_reads += std::count(block.begin(), block.end(), block[0]) != BLOCK_WORDS;

            const int address = WRITE_BASE + WRITE_SLOTS * id + round % WRITE_SLOTS;
            const int value = (id * 20000 + round) & 0xFFFF;
            if (screenWrite(11, QString::number(address),
                            QByteArray(1, char(value & 0xFF)) + char(value >> 8), id, round))
                last_word[id][address] = value;
            if (screenWrite(0, QStringLiteral("%1.%2").arg(BIT_WORD).arg(id),
                            QByteArray(1, char(round & 1)), id, round))
                last_bit[id] = round & 1;
            if (round % 10 == 0) {
                RW_VAR once = RW_VAR();
                once.req_kind = ONCE_KIND;
                once.req_id = id;
                once.reg_type = 11;
                once.addr_text = QString::number(BLOCK);
                once.station = 1;
                once.length = BLOCK_WORDS;
                AddListOnceReadVar(&once, 0);
            }
            QList<VAR_DESC> mine = descs; // shared, copied only if the rebuild changes it
            if (round % 50 == 25) ReCreatReadVarList(&mine);
        }
    }

    QList<VAR_DESC> descs; // the read list as the host registered it
    std::atomic<int> torn_reads{0}, exchanges{0};
    std::map<int, int> last_word[SCREENS];
    int last_bit[SCREENS] = {};
};

TEST_P(ConcurrencyStress, ScreensAndTheLoopAgree) {
    // A deadlock shows as this message instead of a hang; the process ends with the test.
    std::string error;
    std::unique_ptr<plcsim::SimServer> sim = startSim(simConfig(), &error);
    ASSERT_TRUE(sim) << error;
    HostOptions options = hostOptions(sim->port());
    options.multi_station = GetParam();
    options.timeout_ms = HOST_TIMEOUT_MS;
    Host host(options);
    ASSERT_TRUE(host.start(kScreenTags, &error)) << error;
    RegistCallBackFuncIntf(onceDone, nullptr); // give-ups show in the session's counters
    for (const Tag& t : host.session().tags()) {
        VAR_DESC d = VAR_DESC();
        d.reg_type = static_cast<unsigned char>(t.reg_type);
        d.station = 1;
        d.addr_text = d.name = QString::fromStdString(t.addr_text);
        d.length = t.length;
        descs.append(d);
    }

    std::atomic<bool> stop{false};
    std::thread plc([&] {
        for (uint16_t v = 1; !stop; ++v)
            sim->memory().writeWords(plcsim::Area::D, BLOCK, std::vector<uint16_t>(BLOCK_WORDS, v));
    });
    std::thread loop([&] {
        while (!stop)
            exchanges += host.session().exchangeOnce().kind != FrameKind::None;
    });
    std::vector<std::thread> screens;
    for (int id = 0; id < SCREENS; ++id)
        screens.emplace_back([this, id] { screen(id); });
    for (std::thread& t : screens)
        t.join();
    stop = true;
    loop.join();
    plc.join();
    // What the screens queued last goes out now, with no other thread left.
    auto sent = [] { return PLC_driver.write_list.isEmpty() && PLC_driver.protocol_list.empty(); };
    ASSERT_GE(host.runUntil(sent, DRAIN_TURNS), 0);

    EXPECT_GT(exchanges.load(), SCREEN_ROUNDS);
    EXPECT_GT(once_ok.load(), 0);
    EXPECT_EQ(std::make_tuple(torn_reads.load(), host.session().counters().failures,
                              once_failed.load(), callback_reads.load()),
              std::make_tuple(0, 0L, 0, once_ok.load()));
    for (int id = 0; id < SCREENS; ++id) {
        for (const auto& w : last_word[id]) // in the PLC and in the driver's store
            EXPECT_EQ(std::make_tuple(int(sim->memory().word(plcsim::Area::D, w.first)),
                                      screenWords(w.first, 1)),
                      std::make_tuple(w.second, std::vector<int>{w.second}))
                << "D" << w.first;
        EXPECT_EQ(sim->memory().bit(plcsim::Area::CIO, BIT_WORD, id), last_bit[id] == 1) << id;
    }
}

// Parameter: multi-station mode (the per-station store) or not.
INSTANTIATE_TEST_SUITE_P(MultiStation, ConcurrencyStress, ::testing::Bool());

// The lock wrapper makes the driver's QMutexes visible to ThreadSanitizer: taking
// data_mutex and then list_mutex, against the driver's order, is reported. Only in a
// TSan build; the report ends the child process that the death test runs.
#ifdef DRIVER_TSAN
void takeBothInTheDriversOrderThenReversed() {
    std::thread([] {
        DriverLock list(PLC_driver.list_mutex);
        DriverLock data(PLC_driver.data_mutex);
    }).join();
    std::thread([] {
        DriverLock data(PLC_driver.data_mutex);
        DriverLock list(PLC_driver.list_mutex);
    }).join();
    std::exit(0);
}

TEST(LockAnnouncements, ThreadSanitizerSeesAnInvertedLockOrder) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(takeBothInTheDriversOrderThenReversed(), ::testing::ExitedWithCode(66),
                "lock-order-inversion");
}
#endif

} // namespace
} // namespace e2e
