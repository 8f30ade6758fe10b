/* The mapped ring buffer and the stream's pointers. */
#include "pcm_internal.h"

#include <errno.h>
#include <sys/mman.h>
#include <unistd.h>

static size_t page_size(void)
{
    long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? (size_t)size : 4096;
}

static void unmap(struct pcm *pcm, volatile void *addr, size_t length)
{
    pcm->kernel->munmap(pcm->kernel->ctx, (void *)addr, length);
}

/* x86 lets the status and control pages be mapped; other architectures
 * (ARM among them) refuse, and the pointers then travel by SYNC_PTR. */
static void map_pages(struct pcm *pcm)
{
    void *status = NULL;
    void *control = NULL;
    const struct pcm_kernel *k = pcm->kernel;
    int err = k->mmap(k->ctx, &status, page_size(), PROT_READ, pcm->fd, SNDRV_PCM_MMAP_OFFSET_STATUS);
    if (err == 0)
        err = k->mmap(k->ctx, &control, page_size(), PROT_READ | PROT_WRITE, pcm->fd, SNDRV_PCM_MMAP_OFFSET_CONTROL);
    if (err == 0) {
        pcm->status = status;
        pcm->control = control;
        pcm->pages_mapped = 1;
        return;
    }
    if (status != NULL)
        unmap(pcm, status, page_size());
    pcm->status = &pcm->sync.s.status;
    pcm->control = &pcm->sync.c.control;
    pcm->pages_mapped = 0;
}

int pcm_map(struct pcm *pcm)
{
    const struct pcm_kernel *k = pcm->kernel;
    pcm->area_bytes = pcm_frames_to_bytes(pcm, pcm->buffer_size);
    int err = pcm->area_bytes == 0 ? -EINVAL : 0;
    if (err == 0)
        err = k->mmap(k->ctx, &pcm->area, pcm->area_bytes, PROT_READ | PROT_WRITE, pcm->fd, SNDRV_PCM_MMAP_OFFSET_DATA);
    if (err < 0) {
        pcm->area = NULL;
        pcm_set_error(pcm, err, "failed to mmap buffer %zu bytes", pcm->area_bytes);
        return err;
    }
    map_pages(pcm);
    /* Start from the kernel's own pointers and avail_min. */
    err = pcm_sync(pcm, SNDRV_PCM_SYNC_PTR_APPL | SNDRV_PCM_SYNC_PTR_AVAIL_MIN);
    if (err < 0)
        pcm_set_error(pcm, err, "cannot synchronize stream pointers");
    return err;
}

void pcm_unmap(struct pcm *pcm)
{
    if (pcm->pages_mapped) {
        unmap(pcm, pcm->status, page_size());
        unmap(pcm, pcm->control, page_size());
        pcm->pages_mapped = 0;
    }
    pcm->status = NULL;
    pcm->control = NULL;
    if (pcm->area != NULL) {
        unmap(pcm, pcm->area, pcm->area_bytes);
        pcm->area = NULL;
    }
}

int pcm_sync(struct pcm *pcm, unsigned int sync_flags)
{
    const struct pcm_kernel *k = pcm->kernel;
    if (pcm->pages_mapped) {
        if (!(sync_flags & SNDRV_PCM_SYNC_PTR_HWSYNC))
            return 0;
        return k->ioctl(k->ctx, pcm->fd, SNDRV_PCM_IOCTL_HWSYNC, NULL);
    }
    pcm->sync.flags = sync_flags;
    return k->ioctl(k->ctx, pcm->fd, SNDRV_PCM_IOCTL_SYNC_PTR, &pcm->sync);
}

int pcm_prepare(struct pcm *pcm)
{
    const struct pcm_kernel *k = pcm->kernel;
    int err = k->ioctl(k->ctx, pcm->fd, SNDRV_PCM_IOCTL_PREPARE, NULL);
    if (err == 0 && pcm->status != NULL)
        err = pcm_sync(pcm, SNDRV_PCM_SYNC_PTR_APPL | SNDRV_PCM_SYNC_PTR_AVAIL_MIN);
    return err;
}

int pcm_resume(struct pcm *pcm)
{
    const struct pcm_kernel *k = pcm->kernel;
    int err = k->ioctl(k->ctx, pcm->fd, SNDRV_PCM_IOCTL_RESUME, NULL);
    if (err == 0 && pcm->status != NULL)
        err = pcm_sync(pcm, SNDRV_PCM_SYNC_PTR_APPL | SNDRV_PCM_SYNC_PTR_AVAIL_MIN);
    return err;
}

snd_pcm_sframes_t pcm_mmap_avail(const struct pcm *pcm)
{
    /* Both pointers stay below the boundary, and boundary + buffer fits a
     * signed long, so none of this overflows. */
    snd_pcm_sframes_t hw = (snd_pcm_sframes_t)pcm->status->hw_ptr;
    snd_pcm_sframes_t appl = (snd_pcm_sframes_t)pcm->control->appl_ptr;
    snd_pcm_sframes_t boundary = (snd_pcm_sframes_t)pcm->boundary;
    snd_pcm_sframes_t avail = (pcm->flags & PCM_IN) ? hw - appl : hw + (snd_pcm_sframes_t)pcm->buffer_size - appl;
    if (avail < 0)
        avail += boundary;
    else if (avail >= boundary)
        avail -= boundary;
    return avail;
}
