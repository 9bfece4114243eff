#pragma once
// Path-based tag functions of the raster layer file. Every function opens the
// file itself, closes it before returning and never throws; 0 is failure.

#include "format/RDPFile.h"

int GetVersion(const char* file);
int GetNumLayer(const char* file);

int GetTag(const char* file, int layer, int tag, int maxlen, void* buf);
int GetTag(const char* file, int tag, int maxlen, void* buf);
int SetTag(const char* file, int layer, int tag, int len, const void* buf);
int SetTag(const char* file, int tag, int len, const void* buf);
int GetSizeTag(const char* file, int layer, int tag);
int GetSizeTag(const char* file, int tag);
int GetNextTag(const char* file, int layer, int tag);
int GetNextTag(const char* file, int tag);
int GetNextNoReservedTag(const char* file, int layer, int tag);
int GetNextNoReservedTag(const char* file, int tag);
int GetNumTag(const char* file, int layer);
int GetNumTag(const char* file);
int CopyTag(const char* dst, int dstLayer, const char* src, int srcLayer);
int CopyTag(const char* dst, const char* src);
int CopyTag(const char* dst, int dstLayer, const char* src, int srcLayer, const int* tags, int count);
int CopyTag(const char* dst, const char* src, const int* tags, int count);
int DeleteTag(const char* file, int layer, int tag);
int DeleteTag(const char* file, int tag);
