#include "Func_GetOrSetData.h"

void GetBit_unsigned_char(QByteArray&, unsigned char*, int, int) {}
void GetBit_unsigned_short(QByteArray&, unsigned short*, int, int) {}
void GetWord_unsigned_char(QByteArray&, unsigned char*, int, int) {}
void GetWord_unsigned_short(QByteArray&, unsigned short*, int, int) {}
void SetBit_unsigned_char(int, unsigned char*, QByteArray*, int) {}
void SetBit_unsigned_short(int, unsigned short*, QByteArray*, int) {}
void SetValue_unsigned_short(int, unsigned short*, QByteArray*, int) {}
void WriteDataToLocal(RW_VAR*) {}
int GetRegisterData(QString*, int, QString*, int, QByteArray*, int) { return 0; }
int SetRegisterData(QString*, int, QString*, int, QByteArray*, int, int, int) { return 0; }
