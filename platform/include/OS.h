// Kernel kit: threads, thread data, semaphores and clocks.
#ifndef _OS_H
#define _OS_H

#include <SupportDefs.h>

typedef int32 thread_id;
typedef int32 sem_id;
typedef int32 team_id;
typedef int32 port_id;

typedef status_t (*thread_func)(void* data);

#define B_OS_NAME_LENGTH 32
#define B_INFINITE_TIMEOUT (B_INT64_CONSTANT(9223372036854775807))

// Thread priorities.
#define B_IDLE_PRIORITY 0
#define B_LOWEST_ACTIVE_PRIORITY 1
#define B_LOW_PRIORITY 5
#define B_NORMAL_PRIORITY 10
#define B_DISPLAY_PRIORITY 15
#define B_URGENT_DISPLAY_PRIORITY 20
#define B_REAL_TIME_DISPLAY_PRIORITY 100
#define B_URGENT_PRIORITY 110
#define B_REAL_TIME_PRIORITY 120

// Flags of the blocking calls.
enum {
	B_CAN_INTERRUPT = 0x01,
	B_CHECK_PERMISSION = 0x04,
	B_TIMEOUT = 0x08,
	B_RELATIVE_TIMEOUT = 0x08,
	B_ABSOLUTE_TIMEOUT = 0x10,
	B_DO_NOT_RESCHEDULE = 0x02,
	B_RELEASE_ALL = 0x08,
	B_RELEASE_IF_WAITING_ONLY = 0x10
};

typedef enum {
	B_THREAD_RUNNING = 1,
	B_THREAD_READY,
	B_THREAD_RECEIVING,
	B_THREAD_ASLEEP,
	B_THREAD_SUSPENDED,
	B_THREAD_WAITING
} thread_state;

typedef struct {
	thread_id thread;
	team_id team;
	char name[B_OS_NAME_LENGTH];
	thread_state state;
	int32 priority;
	sem_id sem;
} thread_info;

typedef struct {
	sem_id sem;
	team_id team;
	char name[B_OS_NAME_LENGTH];
	int32 count;
	thread_id latest_holder;
} sem_info;

#ifdef __cplusplus
extern "C" {
#endif

// Threads. spawn_thread makes a suspended thread; resume_thread starts it.
thread_id spawn_thread(thread_func function, const char* name, int32 priority, void* data);
status_t resume_thread(thread_id thread);
status_t wait_for_thread(thread_id thread, status_t* returnValue);
thread_id find_thread(const char* name);
void exit_thread(status_t status) __attribute__((noreturn));
status_t rename_thread(thread_id thread, const char* newName);
status_t get_thread_info(thread_id thread, thread_info* info);
status_t snooze(bigtime_t microseconds);
status_t snooze_until(bigtime_t time, int timeBase);

// Thread data: one pending item per thread.
status_t send_data(thread_id thread, int32 code, const void* buffer, size_t bufferSize);
int32 receive_data(thread_id* sender, void* buffer, size_t bufferSize);
bool has_data(thread_id thread);

// Semaphores.
sem_id create_sem(int32 count, const char* name);
status_t delete_sem(sem_id id);
status_t acquire_sem(sem_id id);
status_t acquire_sem_etc(sem_id id, int32 count, uint32 flags, bigtime_t timeout);
status_t release_sem(sem_id id);
status_t release_sem_etc(sem_id id, int32 count, uint32 flags);
status_t get_sem_count(sem_id id, int32* threadCount);
status_t set_sem_owner(sem_id id, team_id team);
status_t get_sem_info(sem_id id, sem_info* info);

// Clocks, in microseconds: the wall clock and a monotonic one.
bigtime_t real_time_clock_usecs(void);
uint32 real_time_clock(void);
bigtime_t system_time(void);

#ifdef __cplusplus
}
#endif

// Time base of snooze_until.
#define B_SYSTEM_TIMEBASE 0

#endif // _OS_H
