// Doubly linked lists of nodes that live inside their owners' records.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxListNode {
    struct cxListNode *next;
    struct cxListNode *prev;
    struct cxList *list; /* the list that holds the node, or null */
} cxListNode;

typedef struct cxList {
    cxListNode *head;
    cxListNode *tail;
    int count;
} cxList;

void InitList(cxList *list);
void AddListHead(cxList *list, cxListNode *node);
void AddListTail(cxList *list, cxListNode *node);
/* Inserts node after predecessor; a null predecessor inserts at the front. */
void InsertListNode(cxList *list, cxListNode *node, cxListNode *predecessor);
/* Unlinks node from whatever list holds it; a node in no list is left. */
void RemoveListNode(cxListNode *node);

#ifdef __cplusplus
}
#endif
