#pragma once
// The base library's two descriptions of the product and geometry tags (300 to 307): the
// tag dictionary (resource 543, the text "tags.tfd", English or Russian) and the field
// descriptions (resource 537, "SNTD" records). Both are built once from the tables of
// TagResources.cpp, in code page 1251.

#include <string>

inline constexpr int kFieldDescriptionsResourceId = 537;
inline constexpr int kTagDictionaryResourceId = 543;

// Resource 543: lines of depth x TAB, text, TAB, data, CR LF; root "Tags", then one node
// per tag with its Name, Caption and fields (each with Length, Type and Offset leaves).
const std::string& TagDictionaryResource(bool russian);

// Resource 537: "SNTD", the record count, then the records.
const std::string& FieldDescriptionsResource();
