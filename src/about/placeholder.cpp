// Feedback form and about box.
