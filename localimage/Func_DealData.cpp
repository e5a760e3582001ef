#include "Func_DealData.h"

void SaveToLocalDataErea(QByteArray*) {}
void SaveWord_unsigned_short(QByteArray*, unsigned short*) {}
void SaveTC_unsigned_char(QByteArray*, unsigned char*) {}
int ExtendFindSameVar(int, int, int) { return 0; }
