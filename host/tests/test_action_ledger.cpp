// The action ledger's rules, each row a sequence of queued writes and answers as the
// driver's write queue sees them, and the outcomes that follow.
#include <gtest/gtest.h>

#include "action_ledger.h"
#include "omron_fins_results.h"

namespace fhost {
namespace {

const int D = fins::REG_D_WORD, CIO_BIT = fins::REG_CIO_BIT;

WriteAction write(const char* value, int station = 1) {
    WriteAction w;
    w.name = "sp";
    w.value_text = value;
    w.station = station;
    return w;
}

std::string outcomes(const ActionLedger& ledger) {
    std::string out;
    for (const WriteAction& w : ledger.writes())
        out += std::string(outcomeName(w.outcome)) + (w.detail.empty() ? "" : " " + w.detail) + ";";
    return out;
}

TEST(ActionLedger, WritesFollowTheDriversQueue) {
    const std::vector<WritePiece> sp = writePieces(1, D, 100, 1, 64);
    // Three writes to one place: the head is in flight, the third overwrites the second.
    {
        ActionLedger l(false);
        l.addWrite(write("1"), sp);
        l.addWrite(write("2"), sp);
        EXPECT_EQ(l.addWrite(write("3"), sp),
                  std::vector<std::string>{"write sp=2: superseded by write 3"});
        // The non-fatal CPU error bit reports the PLC's state: done, with a note.
        EXPECT_EQ(l.writeAnswered(0, sp[0], fins::RESULT_GOOD, 0x0040, ""),
                  "write sp=1: done (the PLC reports a non-fatal CPU error (end code 0x0040))");
        EXPECT_TRUE(l.writesPending());
        EXPECT_EQ(l.writeAnswered(2, sp[0], fins::RESULT_GOOD, 0, ""), "write sp=3: done");
        EXPECT_EQ(outcomes(l),
                  "done the PLC reports a non-fatal CPU error (end code 0x0040);superseded by "
                  "write 3;done;");
        EXPECT_FALSE(l.anyFailed());
    }
    // A write of 130 words at max_block 64 is three pieces; it settles with the last.
    {
        ActionLedger l(false);
        const std::vector<WritePiece> p = writePieces(1, D, 10, 130, 64);
        ASSERT_EQ(p.size(), 3u);
        EXPECT_EQ(std::make_tuple(p[2].address, p[2].length), std::make_tuple(138, 2));
        l.addWrite(write("1,2"), p);
        EXPECT_EQ(l.writeAnswered(0, p[0], fins::RESULT_GOOD, 0, ""), "");
        EXPECT_EQ(l.writeAnswered(0, p[1], fins::RESULT_GOOD, 0x2101, ""), "");
        EXPECT_EQ(l.writeAnswered(0, p[2], fins::RESULT_GOOD, 0, ""),
                  "write sp=1,2: refused: end code 0x2101 (read-only area)");
    }
    // Bits are one piece each; a give-up purges the queue (of its station when several).
    for (bool multi : {false, true}) {
        ActionLedger l(multi);
        const std::vector<WritePiece> bits = writePieces(1, CIO_BIT, 35, 2, 64);
        ASSERT_EQ(bits.size(), 2u);
        l.addWrite(write("1,0"), bits);
        l.addWrite(write("7", 2), writePieces(2, D, 100, 1, 64));
        l.writeAnswered(0, bits[0], fins::FAMILY_NO_REPLY + 2, 0, "after 3 bad replies");
        l.writesPurged(1, "dropped");
        EXPECT_EQ(outcomes(l), multi ? "gave up after 3 bad replies;pending;"
                                     : "gave up after 3 bad replies;gave up dropped;");
        l.abandonPending("not answered");
        EXPECT_TRUE(l.anyFailed());
    }
    // A long run keeps the latest records and every pending one; ids go on counting, and
    // a refusal that is no longer kept still counts as a failure.
    {
        ActionLedger l(false);
        l.addRefusedWrite(write("9"), "station 1 is down");
        l.addWrite(write("0"), sp); // at the head: stays pending
        for (int i = 2; i < 250; ++i) {
            l.addWrite(write("1"), writePieces(1, D, 200 + i, 1, 64));
            l.writeAnswered(i, writePieces(1, D, 200 + i, 1, 64)[0], fins::RESULT_GOOD, 0, "");
        }
        EXPECT_EQ(l.nextWriteId(), 250);
        EXPECT_EQ(l.writes().size(), ActionLedger::kHistory + 1);
        EXPECT_EQ(l.writes().front().number, 2); // pending, so kept
        EXPECT_EQ(l.writeAnswered(1, sp[0], fins::RESULT_GOOD, 0, ""), "write sp=0: done");
        EXPECT_EQ(l.writeAnswered(0, sp[0], fins::RESULT_GOOD, 0, ""), ""); // forgotten
        EXPECT_TRUE(l.anyFailed());
    }
}

} // namespace
} // namespace fhost
