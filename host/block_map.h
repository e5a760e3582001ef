// The map of the cyclic read: each block as the driver sent it (learnt from the frame
// and the record DataCom returned), the tags it covers and its last round trip. This is
// what an engineer tunes --max-block with.
#ifndef FINS_HOST_BLOCK_MAP_H
#define FINS_HOST_BLOCK_MAP_H

#include <QByteArray>

#include <functional>
#include <string>
#include <vector>

#include "omron_fins_tcpip.h"
#include "tag_file.h"

namespace fhost {

struct ReadBlock {
    int station = 0;
    int reg_type = 0; // the record's register type, address and element count
    int address = 0;
    int length = 0;
    int area_code = -1; // the frame's memory area code, start and items; -1: not a FINS read
    int wire_start = 0;
    int items = 0;
    std::vector<std::string> tags; // in tag file order
    double rtt_ms = -1;            // last good read's round trip
    bool good = false;             // the last read was answered well
    long reads = 0;                // good reads
};

// The record's block as the tag file counts: does it hold any element of the tag?
// `tag_station` is where the host sends the tag; `multi_station` reads bits as words.
bool blockCovers(const ReadBlock& block, const Tag& tag, int tag_station, bool multi_station);

class BlockMap {
  public:
    // The read list changed: its blocks are learnt again.
    void clear() { blocks_.clear(); }
    // One cyclic read frame and the record it served; a block seen the first time gets
    // its tags from `covered`.
    void observe(const QByteArray& frame, const RW_VAR& record, bool good, double rtt_ms,
                 const std::function<std::vector<std::string>(const ReadBlock&)>& covered);
    // In the order the driver first sent them.
    const std::vector<ReadBlock>& blocks() const { return blocks_; }

  private:
    std::vector<ReadBlock> blocks_;
};

// "station 1  D 0..3 (4 words)  frame: area 0x82 start 0 items 4  rtt 0.4 ms  counter recipe"
std::vector<std::string> blockMapLines(const std::vector<ReadBlock>& blocks);

} // namespace fhost

#endif
