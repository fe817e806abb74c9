// Doubly linked lists of nodes inside their owners' records.
#include "engine/runtime/lists.h"

#include <cstddef>

extern "C" void InitList(cxList *list) {
    list->head = list->tail = nullptr;
    list->count = 0;
}

extern "C" void InsertListNode(cxList *list, cxListNode *node, cxListNode *predecessor) {
    if (node->list) RemoveListNode(node);
    node->list = list;
    node->prev = predecessor;
    node->next = predecessor ? predecessor->next : list->head;
    if (node->next)
        node->next->prev = node;
    else
        list->tail = node;
    if (predecessor)
        predecessor->next = node;
    else
        list->head = node;
    list->count++;
}

extern "C" void AddListHead(cxList *list, cxListNode *node) { InsertListNode(list, node, nullptr); }

extern "C" void AddListTail(cxList *list, cxListNode *node) { InsertListNode(list, node, list->tail); }

extern "C" void RemoveListNode(cxListNode *node) {
    cxList *list = node->list;
    if (!list) return;
    if (node->prev)
        node->prev->next = node->next;
    else
        list->head = node->next;
    if (node->next)
        node->next->prev = node->prev;
    else
        list->tail = node->prev;
    list->count--;
    node->next = node->prev = nullptr;
    node->list = nullptr;
}
