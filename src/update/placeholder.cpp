// The update service: HTTP form client, settings store, update check and notice.
